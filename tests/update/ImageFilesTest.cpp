#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "RecordingWindow.h"
#include "TempDir.h"
#include "link/SharedState.h"
#include "update/ImageFiles.h"
#include "update/ImageReader.h"

namespace {

std::vector<std::string> ReadAll(const std::string& path, std::size_t limit,
                                 ImageReader::Result* last = nullptr) {
    ImageReader reader(limit);
    EXPECT_TRUE(reader.Open(path));
    std::vector<std::string> lines;
    std::string line;
    ImageReader::Result result;
    while ((result = reader.ReadLine(line)) == ImageReader::Result::Line) {
        lines.push_back(line);
    }
    if (last != nullptr) {
        *last = result;
    }
    EXPECT_FALSE(reader.IsOpen());  // closed at the end of the pass or on a fault
    return lines;
}

}  // namespace

TEST(ImageReaderTest, SplitsLinesOfEitherEndingAndKeepsEmptyOnes) {
    TempDir dir;
    const auto path = dir.Write("a.hex", "one\r\ntwo\n\n\r\nlast");
    ImageReader::Result last;
    EXPECT_EQ(ReadAll(path, 16, &last), (std::vector<std::string>{"one", "two", "", "", "last"}));
    EXPECT_EQ(last, ImageReader::Result::End);
    EXPECT_TRUE(ReadAll(dir.Write("empty.hex", ""), 16).empty());
}

TEST(ImageReaderTest, LinesUpToTheLimitPassAndLongerOnesEndThePass) {
    TempDir dir;
    const std::string atLimit(8, 'x');
    ImageReader::Result last;
    EXPECT_EQ(ReadAll(dir.Write("ok", atLimit + "\r\n" + atLimit), 8, &last),
              (std::vector<std::string>{atLimit, atLimit}));
    EXPECT_EQ(last, ImageReader::Result::End);

    EXPECT_EQ(ReadAll(dir.Write("long", "ab\n" + atLimit + "y\nnext\n"), 8, &last),
              (std::vector<std::string>{"ab"}));
    EXPECT_EQ(last, ImageReader::Result::LineTooLong);
    // A trailing CR beyond the limit is not a line end inside the line.
    ReadAll(dir.Write("cr", atLimit + "y\r\n"), 8, &last);
    EXPECT_EQ(last, ImageReader::Result::LineTooLong);
}

TEST(ImageReaderTest, LinesAcrossReadBufferBoundariesStayWhole) {
    TempDir dir;
    std::string content;
    std::vector<std::string> expected;
    for (int i = 0; i < 20000; ++i) {  // far more than one read buffer
        expected.push_back(std::to_string(i * 7919));
        content += expected.back() + (i % 2 ? "\r\n" : "\n");
    }
    EXPECT_EQ(ReadAll(dir.Write("big", content), 16), expected);
}

TEST(ImageReaderTest, OpensOnlyRegularFiles) {
    TempDir dir;
    ImageReader reader(16);
    EXPECT_FALSE(reader.Open(dir.File("missing")));
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_FALSE(reader.Open(dir.File("sub")));
    EXPECT_FALSE(reader.IsOpen());
    std::string line;
    EXPECT_EQ(reader.ReadLine(line), ImageReader::Result::End);
}

class ImageFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Shared().Reset();
        SetImageDirectory(m_dir.Path().string());
    }
    void TearDown() override { SetImageDirectory({}); }

    // Writes the image, names it as the current one and counts it.
    bool Count(int32_t mode, const std::string& content, const char* name = "dsp.hex") {
        m_dir.Write(name, content);
        EXPECT_TRUE(ImageFileExists(name));
        Shared().OperationMode = mode;
        return CountImageBlocks(m_guarded);
    }

    TempDir m_dir;
    RecordingWindow m_window;
    std::atomic<bool> m_stop{false};
    GuardedWindow m_guarded{m_window, [this] { return m_stop.load(); }};
};

TEST_F(ImageFilesTest, ImagesAreLookedUpInTheImageDirectoryOnly) {
    EXPECT_FALSE(ImageFileExists("dsp.hex"));
    EXPECT_EQ(Shared().ImagePath.Get(), m_dir.File("dsp.hex"));  // composed even when missing

    TempDir cwd;
    cwd.Write("dsp.hex", ":00000001FF\n");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(cwd.Path());
    EXPECT_FALSE(ImageFileExists("dsp.hex"));
    std::filesystem::current_path(previous);

    m_dir.Write("mcu_new.mot", "");
    EXPECT_TRUE(ImageFileExists("mcu_new.mot"));
    EXPECT_EQ(Shared().ImagePath.Get(), m_dir.File("mcu_new.mot"));
}

TEST_F(ImageFilesTest, DefaultDirectoryIsTheExecutables) {
    SetImageDirectory({});
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(ImageDirectory(), exe.parent_path().string() + "/");
    SetImageDirectory("/some/dir");
    EXPECT_EQ(ImageDirectory(), "/some/dir/");
}

TEST_F(ImageFilesTest, DirectoryNamedLikeAnImageIsFoundButRefusedByTheCount) {
    std::filesystem::create_directory(m_dir.File("dsp.hex"));
    EXPECT_TRUE(ImageFileExists("dsp.hex"));
    Shared().OperationMode = ModeDsp;
    Shared().TotalBlocks = 9;
    EXPECT_FALSE(CountImageBlocks(m_guarded));
    EXPECT_EQ(m_window.Log().back(), "Can not open image file!");
    EXPECT_EQ(Shared().TotalBlocks, 0u);
}

TEST(ImagePathLog, PiecesOfFiftyCharactersLaterPieceFirst) {
    const std::string fifty(50, 'a');
    EXPECT_EQ(ImagePathLogLines(fifty), std::vector<std::string>{fifty});
    EXPECT_EQ(ImagePathLogLines(fifty + "b"), (std::vector<std::string>{"b", fifty}));
    const std::string b50(50, 'b'), c50(50, 'c');
    EXPECT_EQ(ImagePathLogLines(fifty + b50 + "c"), (std::vector<std::string>{"c", b50, fifty}));
    EXPECT_EQ(ImagePathLogLines(fifty + b50 + c50 + "dddd"),
              (std::vector<std::string>{c50, b50, fifty}));  // from 150 on nothing is logged
    EXPECT_EQ(ImagePathLogLines(""), std::vector<std::string>{""});
}

TEST_F(ImageFilesTest, CountLogsThePathThenTheTotal) {
    Shared().WrittenBlocks = 5;
    Shared().PercentText.Set("80%");
    m_window.SetProgressPos(44);
    ASSERT_TRUE(Count(ModeDsp, ":0400100012345678D8\n\n:00000001FF\n"));
    const auto path = m_dir.File("dsp.hex");
    std::vector<std::string> expected = ImagePathLogLines(path);
    expected.push_back("Total blocks:3");
    expected.push_back("No checkpoint record: the flash will not be verified.");
    EXPECT_EQ(m_window.Log(), expected);
    EXPECT_EQ(Shared().TotalBlocks, 3u);  // every dsp.hex line, the empty one included
    EXPECT_EQ(Shared().TotalBlocksText.Get(), "3");
    EXPECT_EQ(Shared().WrittenBlocks, 0u);
    EXPECT_EQ(Shared().PercentText.Get(), "0%");
    EXPECT_EQ(m_window.ProgressPos(), 0);
}

TEST_F(ImageFilesTest, McuCountTakesS2RecordsOutsideTheSkippedRange) {
    const std::string image =
        "S00600004844521B\n"
        "S20800BFFF0102FFAA8D\n"    // counts
        "S20800C0000102FFAA8B\n"    // skipped range
        "S208010000FFAAFFAAA4\n"    // skipped range
        "S208013FFF0102FFAA0C\n"    // skipped range
        "S2080140000102FFAA0A\n"    // counts
        "S1080000000102FFAA4B\n"    // S1 never
        "S309000000000102FFAA4A\n"  // S3 never
        "S804000000FB\n";
    ASSERT_TRUE(Count(ModeMcu, image, "mcu_old.mot"));
    EXPECT_EQ(Shared().TotalBlocks, 2u);
}

TEST_F(ImageFilesTest, WithoutACheckpointRecordTheCountWarnsOrRefusesWhenVerifyingIsRequired) {
    const std::string image = "S2080000000102FFAA4B\nS2060140000102B5\n";
    ASSERT_TRUE(Count(ModeMcu, image, "mcu_new.mot"));
    EXPECT_EQ(m_window.Log().back(), "No checkpoint record: the flash will not be verified.");
    m_window.Clear();
    Shared().OperationMode = ModeMcu;
    EXPECT_FALSE(CountImageBlocks(m_guarded, true));
    EXPECT_EQ(m_window.Log().back(), "Image file refused, nothing was sent.");
    m_window.Clear();
    ASSERT_TRUE(Count(ModeMcu, image + "S206023FFE0F0F9C\n", "mcu_new.mot"));
    EXPECT_EQ(m_window.Log().back(), "Total blocks:3");
}

TEST_F(ImageFilesTest, ImagesWithLinesTheToolCannotSendAreRefused) {
    struct Case {
        int32_t mode;
        std::string content;
        std::string log;
    };
    const std::vector<Case> cases = {
        {ModeDsp, ":00000001FF\n" + std::string(600, '0') + "\n", "Image line 2 is too long!"},
        {ModeDsp, std::string(":0400\0\x01\x02", 8) + "\n", "Image line 1 is not text!"},
        {ModeDsp, ":00000001FF\n:0000\r0001FF\n", "Image line 2 is not text!"},
        {ModeDsp, ":04001000ABCD\n", "Image line 1: record too short!"},
        {ModeDsp, ":7F000000" + std::string(256, '1') + "\n", "Image line 1: record too long!"},
        {ModeMcu, "S00600004844521B\nS2080000\n", "Image line 2: address too short!"},
        {ModeMcu, "S2840000" + std::string(260, '1') + "\n", "Image line 1: record too long!"},
        {ModeMcu, "S20800100001\n", "Image line 1: record too short!"},
        {ModeDsp, ":00000001FF\n:02002000ABCD67\n", "Image line 2: record checksum wrong!"},
        {ModeMcu, "S00600004844521B\nS20800C0000102FFAA00\n",
         "Image line 2: record checksum wrong!"},
        {ModeDsp, "", "Image file has no block to send!"},
        {ModeMcu, "S20800C0000102FFAA8B\nS208013FFF0102FFAA0C\n",
         "Image file has no block to send!"},
    };
    for (const Case& c : cases) {
        m_window.Clear();
        Shared().TotalBlocks = 77;
        EXPECT_FALSE(Count(c.mode, c.content)) << c.log;
        const auto log = m_window.Log();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], c.log);
        EXPECT_EQ(log.back(), "Image file refused, nothing was sent.");
        EXPECT_EQ(Shared().TotalBlocks, 0u) << c.log;
    }
}

TEST_F(ImageFilesTest, CountEndsSilentlyOnceStopped) {
    m_stop = true;
    EXPECT_FALSE(Count(ModeDsp, ":00000001FF\n"));
    EXPECT_TRUE(m_window.Log().empty());
}
