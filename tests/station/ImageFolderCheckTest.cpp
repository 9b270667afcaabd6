#include "StationFixture.h"
#include "station/NaturalOrder.h"

namespace {

// Update MCU needs one of its two images and none refused; the folder is checked
// again when a file in it changes.
TEST_F(StationFixture, AnOperationStartsOnlyWithItsImagesAccepted) {
    TempDir folder;
    folder.Write("mcu_new.mot", kMcuImage);
    CImageFolderCheck check(TOVRANE_CLI_PATH);
    check.SetFolder(QString::fromStdString(folder.Path().string()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !check.Checking(); }, 10000));
    EXPECT_EQ(check.BlockerFor(Operation::UpdateMcu), "");
    EXPECT_TRUE(check.BlockerFor(Operation::UpdateDsp).contains("no dsp.hex"));
    EXPECT_EQ(check.BlockerFor(Operation::ReadVersion), "");
    EXPECT_EQ(check.Images()[2].blocks, 5);

    folder.Write("mcu_old.mot", "S2060000100A0BD5\n");  // its checksum is wrong
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return check.BlockerFor(Operation::UpdateMcu).contains("mcu_old.mot is refused"); },
        10000));
}

TEST(NaturalOrder, CountsRunsOfDigitsAsNumbers) {
    EXPECT_TRUE(NaturalLess("1-2", "1-10"));
    EXPECT_TRUE(NaturalLess("1-2.3", "1-2.3:1.0"));
    EXPECT_TRUE(NaturalLess("/dev/pts/9", "/dev/pts/10"));
    EXPECT_FALSE(NaturalLess("1-10", "1-9"));
    EXPECT_FALSE(NaturalLess("1-2", "1-2"));
}

}  // namespace
