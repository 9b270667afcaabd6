#include <signal.h>
#include <sys/stat.h>

#include <QJsonArray>
#include <QProcessEnvironment>
#include <fstream>
#include <set>

#include "CliFixture.h"
#include "TestBundle.h"

namespace {

// A record of kMcuImage with other data, its checksum right: a different release.
constexpr char kOriginalRecord[] = "S2060140000102B5";
constexpr char kOtherRecord[] = "S2060140000103B4";
constexpr int kPromptlyMs = 10000;

std::string OtherMcuImage() {
    std::string image = kMcuImage;
    return image.replace(image.find(kOriginalRecord), 16, kOtherRecord);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<QJsonObject> Events(const CliRun& run, const char* event) {
    std::vector<QJsonObject> found;
    for (const std::string& line : run.out) {
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (object["event"] == event) {
            found.push_back(object);
        }
    }
    return found;
}

bool Received(const devsim::DeviceSimulator& device, const std::string& text) {
    for (const auto& record : device.Commands()) {
        if (record.text.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Bundles signed by a key of the test's own, run with a trust file that lists it, so
// nothing depends on the machine's /etc; private copies are made in the test's tmp/.
class BundleCliTest : public CliTest {
  protected:
    void SetUp() override {
        CliTest::SetUp();
        std::filesystem::create_directories(Tmp());
    }

    std::string Tmp() const { return work.File("tmp"); }

    // A signed bundle folder; returns its path.
    std::string SignedBundle(const std::string& name,
                             const std::map<std::string, std::string>& images,
                             const QJsonObject& fields = {}) {
        const std::string manifest = WriteBundleFolder(work.Path() / name, images, fields);
        EXPECT_TRUE(signer.Sign(manifest));
        return work.File(name);
    }
    std::string ThreeStepBundle() {
        return SignedBundle("release", {{"dsp.hex", kDspImage}, {"mcu_new.mot", kMcuImage}},
                            {{"steps", QJsonArray{"dsp", "mcu", "version"}},
                             {"version_pattern", "^TOVRANE-SIM V1\\.00$"}});
    }

    QStringList BundleArguments(const devsim::DeviceSimulator& device, const std::string& bundle,
                                bool json = true) const {
        QStringList arguments{"--port",
                              QString::fromStdString(device.SlavePath()),
                              "--bundle",
                              QString::fromStdString(bundle),
                              "--allowed-signers",
                              QString::fromStdString(signer.TrustFile())};
        return json ? arguments << "--json" : arguments;
    }

    void Start(QProcess& process, const QStringList& arguments) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", QString::fromStdString(Tmp()));
        process.setProcessEnvironment(environment);
        process.start(TOVRANE_CLI_PATH, arguments);
    }
    CliRun RunCli(const QStringList& arguments, int timeoutMs = 120000) const {
        QProcess process;
        Start(process, arguments);
        return Finish(process, timeoutMs);
    }

    std::set<std::string> PrivateCopies() const {
        std::set<std::string> copies;
        for (const auto& entry : std::filesystem::directory_iterator(Tmp())) {
            copies.insert(entry.path().string());
        }
        return copies;
    }

    TempDir work;
    TestSigner signer{work.Path() / "keys", "release@example.com"};
};

TEST_F(BundleCliTest, ASignedBundleRunsEveryStepInOrderAndEndsWithOneResult) {
    auto& device = StartDevice();
    const std::string bundle = ThreeStepBundle();
    const CliRun run = RunCli(BundleArguments(device, bundle));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject result = ResultOf(run);
    EXPECT_EQ(result["outcome"], "finished");
    EXPECT_EQ(result["exit"], 0);
    EXPECT_EQ(result["operation"], "bundle");
    EXPECT_EQ(result["bundle"].toObject(),
              (QJsonObject{{"name", "Model 7 controller"},
                           {"release", "2.4.1"},
                           {"manifest_sha256",
                            QString::fromStdString(Sha256Hex(ReadFile(bundle + "/manifest.json")))},
                           {"signer", "release@example.com"}}));
    EXPECT_EQ(result["version"], "TOVRANE-SIM V1.00");
    EXPECT_EQ(result["verified"], true);
    EXPECT_EQ(result["blocks_written"], 11);
    EXPECT_EQ(result["blocks_total"], 11);
    EXPECT_TRUE(result["image"].isNull());
    EXPECT_TRUE(result["detail"].isNull());

    const QJsonArray steps = result["steps"].toArray();
    ASSERT_EQ(steps.size(), 3);
    const char* kOperations[] = {"dsp", "mcu", "version"};
    const char* kOutcomes[] = {"finished", "finished", "version_read"};
    const std::vector<QJsonObject> starts = Events(run, "step");
    ASSERT_EQ(starts.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(steps[i].toObject()["operation"], kOperations[i]);
        EXPECT_EQ(steps[i].toObject()["outcome"], kOutcomes[i]);
        EXPECT_EQ(starts[i], (QJsonObject{{"event", "step"},
                                          {"t_ms", starts[i]["t_ms"]},
                                          {"step", kOperations[i]},
                                          {"index", i + 1},
                                          {"count", 3}}));
    }
    const QJsonObject mcu = steps[1].toObject();
    EXPECT_EQ(mcu["image"], "mcu_new.mot") << "named as in the bundle";
    EXPECT_EQ(mcu["sha256"], QString::fromStdString(Sha256Hex(kMcuImage)));
    EXPECT_EQ(mcu["loader"], "new");
    EXPECT_EQ(mcu["blocks_written"], 5);
    EXPECT_EQ(device.DspState().stage, 1) << "the DSP update was closed";
    EXPECT_EQ(device.McuState().stage, 1) << "the MCU update was closed";
    EXPECT_TRUE(PrivateCopies().empty());
}

TEST_F(BundleCliTest, AVersionMismatchOrAFailedStepEndsTheBundleThere) {
    auto& device = StartDevice();
    const std::string versionOnly = SignedBundle(
        "version", {},
        {{"steps", QJsonArray{"version"}}, {"version_pattern", "^TVR 2\\.4\\.1( |$)"}});
    const CliRun plain = RunCli(BundleArguments(device, versionOnly, false));
    EXPECT_EQ(plain.exitCode, 1);
    ASSERT_FALSE(plain.out.empty());
    EXPECT_EQ(plain.out.back(),
              "Bundle \"Model 7 controller\" release 2.4.1: version_mismatch: the version text "
              "\"TOVRANE-SIM V1.00\" does not match the release's version_pattern "
              "^TVR 2\\.4\\.1( |$)");
    const QJsonObject mismatch = ResultOf(RunCli(BundleArguments(device, versionOnly)));
    EXPECT_EQ(mismatch["outcome"], "version_mismatch");
    EXPECT_EQ(mismatch["steps"].toArray()[0].toObject()["outcome"], "version_read");
    EXPECT_TRUE(mismatch["verified"].isNull()) << "no update step";

    devsim::Faults reject;
    reject.rejectBlock = 2;
    device.SetFaults(reject);
    device.ClearLog();
    const CliRun failed = RunCli(BundleArguments(
        device, SignedBundle("release", {{"dsp.hex", kDspImage}, {"mcu_new.mot", kMcuImage}})));
    EXPECT_EQ(failed.exitCode, 1);
    const QJsonObject result = ResultOf(failed);
    EXPECT_EQ(result["outcome"], "write_fail");
    EXPECT_EQ(result["verified"], false);
    EXPECT_EQ(result["steps"].toArray().size(), 1);
    EXPECT_TRUE(Received(device, ":dsp")) << "the DSP step ran";
    EXPECT_FALSE(Received(device, "MCU001") || Received(device, "mcu001"))
        << "the MCU was never addressed";
}

TEST_F(BundleCliTest, ARefusedBundleTouchesNoDevice) {
    auto& device = StartDevice();
    const std::string tampered = SignedBundle("tampered", {{"dsp.hex", kDspImage}});
    std::ofstream(tampered + "/dsp.hex") << ":0400100012345679D7\n";
    const std::string unsignedBundle = work.File("unsigned");
    WriteBundleFolder(unsignedBundle, {{"dsp.hex", kDspImage}});
    ASSERT_EQ(::mkfifo(work.File("fifo.tar").c_str(), 0644), 0);
    const struct {
        std::string bundle;
        const char* detail;
    } kCases[] = {
        {tampered, "dsp.hex: its SHA-256 differs from the manifest's"},
        {unsignedBundle, "the bundle is not signed"},
        {work.File("fifo.tar"), "neither a folder nor a file"},
    };
    for (const auto& refused : kCases) {
        const CliRun run = RunCli(BundleArguments(device, refused.bundle), kPromptlyMs);
        EXPECT_EQ(run.exitCode, 1);
        const QJsonObject result = ResultOf(run);
        EXPECT_EQ(result["outcome"], "bundle_refused");
        EXPECT_NE(result["detail"].toString().toStdString().find(refused.detail), std::string::npos)
            << result["detail"].toString().toStdString();
        EXPECT_TRUE(result["steps"].toArray().isEmpty());
    }
    EXPECT_TRUE(device.Commands().empty());
    EXPECT_EQ(device.ConnectionsEnded(), 0) << "the port was never opened";
    EXPECT_TRUE(PrivateCopies().empty());
}

// The bundle is replaced by another release while the DSP is written: the MCU still
// gets the records of the bundle the run started with.
TEST_F(BundleCliTest, TheRunSendsItsPrivateCopyWhichIsGoneAfterItEvenWhenItsTerminalCloses) {
    auto& device = StartDevice();
    devsim::Pacing slow;
    slow.replyDelay = std::chrono::milliseconds(50);
    device.SetPacing(slow);
    const std::string bundle = ThreeStepBundle();
    QProcess swapped;
    Start(swapped, BundleArguments(device, bundle));
    ASSERT_TRUE(device.WaitForCommands(4, std::chrono::seconds(20)));
    const std::set<std::string> copies = PrivateCopies();
    ASSERT_EQ(copies.size(), 1u);
    struct stat info {};
    ASSERT_EQ(::stat(copies.begin()->c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    SignedBundle("release", {{"dsp.hex", kDspImage}, {"mcu_new.mot", OtherMcuImage()}},
                 {{"steps", QJsonArray{"dsp", "mcu", "version"}}, {"release", "2.4.2"}});
    const CliRun run = Finish(swapped);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject result = ResultOf(run);
    EXPECT_EQ(result["bundle"].toObject()["release"], "2.4.1");
    EXPECT_EQ(result["steps"].toArray()[1].toObject()["sha256"],
              QString::fromStdString(Sha256Hex(kMcuImage)));
    EXPECT_TRUE(Received(device, kOriginalRecord));
    EXPECT_FALSE(Received(device, kOtherRecord));
    EXPECT_TRUE(PrivateCopies().empty());

    device.ClearLog();
    QProcess underNohup;
    underNohup.setChildProcessModifier([] { ::signal(SIGHUP, SIG_IGN); });
    Start(underNohup, BundleArguments(device, bundle));
    ASSERT_TRUE(device.WaitForCommands(4, std::chrono::seconds(20)));
    ::kill(static_cast<pid_t>(underNohup.processId()), SIGHUP);
    EXPECT_TRUE(device.WaitForCommands(device.Commands().size() + 4, std::chrono::seconds(10)))
        << "a run started with SIGHUP ignored goes on";
    ::kill(static_cast<pid_t>(underNohup.processId()), SIGTERM);
    EXPECT_EQ(Finish(underNohup).exitCode, 143);

    device.ClearLog();
    QProcess stopped;
    Start(stopped, BundleArguments(device, bundle));
    ASSERT_TRUE(device.WaitForCommands(4, std::chrono::seconds(20)));
    EXPECT_EQ(PrivateCopies().size(), 1u);
    // A closed terminal (SIGHUP) stops the run as Ctrl-C does.
    ::kill(static_cast<pid_t>(stopped.processId()), SIGHUP);
    const CliRun interrupted = Finish(stopped);
    EXPECT_EQ(interrupted.exitCode, 129);
    const QJsonObject end = ResultOf(interrupted);
    EXPECT_EQ(end["outcome"], "interrupted");
    EXPECT_EQ(end["steps"].toArray().size(), 1);
    EXPECT_TRUE(PrivateCopies().empty());
}

TEST_F(BundleCliTest, CheckAndMakeBundleSayWhatABundleHoldsAndWhetherItWouldRun) {
    const QString out = QString::fromStdString(work.File("release.tar"));
    const QString folder = QString::fromStdString(images.Path().string());
    const CliRun made = RunCli({"--make-bundle", out, "--images", folder, "--name", "Model 7",
                                "--release", "2.4.1", "--version-pattern", "^TOVRANE"});
    EXPECT_EQ(made.exitCode, 0) << (made.out.empty() ? made.err : made.out.front());
    const QStringList trusted{"--allowed-signers", QString::fromStdString(signer.TrustFile())};
    const CliRun check = RunCli(QStringList{"--check-bundle", out, "--json"} + trusted);
    EXPECT_EQ(check.exitCode, 1) << "a trust file is in force and the bundle is not signed";
    const std::vector<QJsonObject> checked = Events(check, "image");
    ASSERT_EQ(checked.size(), 3u);
    EXPECT_EQ(checked[0]["path"], "dsp.hex");
    EXPECT_EQ(checked[2]["blocks"], 5);
    const std::vector<QJsonObject> verdict = Events(check, "bundle");
    ASSERT_EQ(verdict.size(), 1u);
    EXPECT_EQ(verdict[0]["steps"], (QJsonArray{"dsp", "mcu", "version"}));
    EXPECT_EQ(verdict[0]["version_pattern"], "^TOVRANE");
    EXPECT_EQ(verdict[0]["accepted"], false);
    EXPECT_TRUE(verdict[0]["reason"].toString().startsWith("the bundle is not signed"));

    const CliRun signedCheck =
        RunCli(QStringList{"--check-bundle", QString::fromStdString(ThreeStepBundle())} + trusted);
    EXPECT_EQ(signedCheck.exitCode, 0);
    ASSERT_EQ(signedCheck.out.size(), 3u);
    EXPECT_EQ(signedCheck.out[2],
              "Bundle \"Model 7 controller\" release 2.4.1: steps dsp, mcu, version; signed by "
              "release@example.com; accepted");

    images.Write("mcu_old.mot", "S2060000100A0BD5\n");  // its checksum is wrong
    const QString failed = QString::fromStdString(work.File("failed.tar"));
    const CliRun refused =
        RunCli({"--make-bundle", failed, "--images", folder, "--name", "M", "--release", "1"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(failed.toStdString()));

    EXPECT_EQ(RunCli({"--bundle", out}).exitCode, 2) << "no port";
    EXPECT_EQ(RunCli({"--port", "/dev/null", "--bundle", out, "--images", folder}).exitCode, 2);
    EXPECT_EQ(RunCli({"--make-bundle", out, "--images", folder, "--name", "M"}).exitCode, 2);
    EXPECT_EQ(RunCli({"--make-bundle", out, "--images", folder, "--name", "M", "--release", "1",
                      "--steps", "dsp,eeprom"})
                  .exitCode,
              2);
    EXPECT_TRUE(PrivateCopies().empty());
}

}  // namespace
