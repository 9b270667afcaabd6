#include <QJsonArray>
#include <QJsonDocument>
#include <fstream>

#include "BundleFixture.h"
#include "bundle/BundleCheck.h"
#include "bundle/BundleMaker.h"
#include "bundle/Manifest.h"

namespace {

const std::string kHash(64, 'a');

QJsonObject GoodManifest() {
    return {{"format", "tovrane-bundle"},
            {"format_version", 1},
            {"name", "Model 7 controller"},
            {"release", "2.4.1"},
            {"steps", QJsonArray{"dsp", "mcu", "version"}},
            {"images", QJsonObject{{"dsp.hex", QString::fromStdString(kHash)},
                                   {"mcu_new.mot", QString::fromStdString(kHash)}}},
            {"version_pattern", "^TVR 2\\.4\\.1( |$)"},
            {"require_verify", true},
            {"made_by", "ignored"}};
}

ManifestReading Read(const QJsonObject& object) {
    return ReadManifest(QJsonDocument(object).toJson());
}

TEST(Manifest, EveryRuleIsKeptAndABrokenOneIsNamed) {
    const ManifestReading good = Read(GoodManifest());
    EXPECT_EQ(good.refusal, "");
    EXPECT_EQ(good.manifest.steps,
              (std::vector<BundleStep>{BundleStep::Dsp, BundleStep::Mcu, BundleStep::Version}));
    EXPECT_EQ(good.manifest.versionPattern, "^TVR 2\\.4\\.1( |$)");

    const struct {
        const char* key;
        QJsonValue value;  // undefined: the key is left out
        const char* refusal;
    } kCases[] = {
        {"format", "tovrane-bundel", "\"format\" must be \"tovrane-bundle\""},
        {"format_version", 2, "needs a newer Tovrane"},
        {"format_version", "1", "\"format_version\" must be 1"},
        {"name", "", "\"name\" must be a non-empty string"},
        {"release", QJsonValue::Undefined, "\"release\" must be a non-empty string"},
        {"steps", QJsonArray{"dsp", "mcu", "dsp"}, "the step \"dsp\" is listed twice"},
        {"steps", QJsonArray{"dsp", "eeprom"}, "a step must be"},
        {"steps", QJsonArray{}, "\"steps\" must be a non-empty list"},
        {"images", QJsonObject{{"boot.bin", QString::fromStdString(kHash)}},
         "boot.bin is not allowed"},
        {"images",
         QJsonObject{{"dsp.hex", QString(64, 'A')}, {"mcu_old.mot", QString::fromStdString(kHash)}},
         "64 lower-case hex digits"},
        {"images", QJsonObject{{"mcu_old.mot", QString::fromStdString(kHash)}},
         "the \"dsp\" step needs dsp.hex"},
        {"images", QJsonObject{{"dsp.hex", QString::fromStdString(kHash)}},
         "the \"mcu\" step needs mcu_old.mot or mcu_new.mot"},
        {"version_pattern", "TVR (2", "must be a regular expression"},
        {"require_verify", "yes", "\"require_verify\" must be true or false"},
    };
    for (const auto& test : kCases) {
        QJsonObject object = GoodManifest();
        if (test.value.isUndefined()) {
            object.remove(test.key);
        } else {
            object.insert(test.key, test.value);
        }
        const ManifestReading reading = Read(object);
        EXPECT_NE(reading.refusal.find(test.refusal), std::string::npos)
            << test.key << ": " << reading.refusal;
        EXPECT_EQ(reading.manifest.name.has_value(), std::string(test.key) != "name")
            << "a refused manifest still shows what could be read";
    }

    QJsonObject noVersionStep = GoodManifest();
    noVersionStep.insert("steps", QJsonArray{"dsp", "mcu"});
    EXPECT_NE(Read(noVersionStep).refusal.find("there is no \"version\" step"), std::string::npos);
    EXPECT_NE(ReadManifest("{\"format\": ").refusal.find("not a JSON object"), std::string::npos);
    EXPECT_NE(ReadManifest("[1, 2]").refusal.find("not a JSON object"), std::string::npos);
}

TEST_F(BundleTest, AMadeBundleIsAcceptedAndAFailedMakeLeavesNothing) {
    std::filesystem::create_directories(work.Path() / "images");
    std::ofstream(work.File("images/dsp.hex")) << kDspImage;
    std::ofstream(work.File("images/mcu_old.mot")) << kMcuImage;
    BundleRecipe recipe{work.File("out/release.tgz"),
                        work.File("images"),
                        "Model 7 controller",
                        "2.4.1",
                        std::nullopt,
                        "^TOVRANE-SIM",
                        false,
                        {}};
    std::filesystem::create_directories(work.Path() / "out");
    const MadeBundle made = MakeBundle(recipe);
    ASSERT_EQ(made.error, "");
    const CheckedBundle gzipped = CheckBundle(recipe.output, {});
    EXPECT_TRUE(gzipped.Accepted()) << gzipped.refusal;
    EXPECT_EQ(gzipped.manifest.steps,
              (std::vector<BundleStep>{BundleStep::Dsp, BundleStep::Mcu, BundleStep::Version}));
    EXPECT_EQ(gzipped.images.size(), 2u);
    std::ifstream packed(recipe.output, std::ios::binary);
    EXPECT_EQ(packed.get(), 0x1f) << "gzip, as the name says";

    recipe.output = work.File("out/mcu.tar");
    recipe.steps = std::vector<BundleStep>{BundleStep::Mcu};
    recipe.versionPattern.reset();
    ASSERT_EQ(MakeBundle(recipe).error, "");
    const CheckedBundle plain = CheckBundle(recipe.output, {});
    EXPECT_TRUE(plain.Accepted()) << plain.refusal;
    EXPECT_EQ(plain.images.size(), 1u) << "only the images its steps need";

    recipe.output = work.File("out/bad.tar");
    recipe.versionPattern = "TVR (2";
    recipe.steps = std::vector<BundleStep>{BundleStep::Mcu, BundleStep::Version};
    EXPECT_NE(MakeBundle(recipe).error.find("must be a regular expression"), std::string::npos);
    recipe.versionPattern.reset();
    recipe.steps = std::vector<BundleStep>{BundleStep::Dsp};
    recipe.requireVerify = true;
    std::ofstream(work.File("images/dsp.hex")) << ":0400100012345678D8\n";
    EXPECT_EQ(MakeBundle(recipe).error,
              "dsp.hex is refused: no checkpoint record, and verification is required");
    std::set<std::string> outputs;
    for (const auto& entry : std::filesystem::directory_iterator(work.Path() / "out")) {
        outputs.insert(entry.path().filename().string());
    }
    EXPECT_EQ(outputs, (std::set<std::string>{"mcu.tar", "release.tgz"}));
    EXPECT_EQ(TmpEntries().size(), 2u) << "the copies of the two bundles checked above, alive";
}

}  // namespace
