#pragma once

// Runs tovrane-cli as a child process against simulated devices.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "SampleImages.h"
#include "TempDir.h"
#include "tools/devsim/DeviceSimulator.h"

using Lines = std::vector<std::string>;

struct CliRun {
    int exitCode = -1;
    Lines out;
    std::string err;
};

inline Lines SplitLines(const QByteArray& bytes) {
    Lines lines;
    for (const QByteArray& line : bytes.split('\n')) {
        if (!line.isEmpty()) {
            lines.emplace_back(line.toStdString());
        }
    }
    return lines;
}

// The lines with their millisecond figures replaced by #, which vary from run to run.
inline Lines WithoutTimes(Lines lines) {
    for (std::string& line : lines) {
        const auto digits = line.find_first_of("0123456789");
        if (line.size() > 2 && line.compare(line.size() - 2, 2, "ms") == 0 && digits != line.npos) {
            line = line.substr(0, digits) + "#ms";
        }
    }
    return lines;
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        images.Write("dsp.hex", kDspImage);
        images.Write("mcu_new.mot", kMcuImage);
        images.Write("mcu_old.mot", kMcuImage);
    }

    // Starts a simulated device with the given loaders and no erase time.
    devsim::DeviceSimulator& StartDevice(devsim::Generation dsp = devsim::Generation::New,
                                         devsim::Generation mcu = devsim::Generation::New,
                                         std::string version = "TOVRANE-SIM V1.00") {
        devsim::Options options;
        options.device.dsp = dsp;
        options.device.mcu = mcu;
        options.device.versionText = std::move(version);
        devices.push_back(std::make_unique<devsim::DeviceSimulator>(options));
        EXPECT_TRUE(devices.back()->Start()) << devices.back()->LastError();
        return *devices.back();
    }

    QStringList Arguments(const std::string& port, const char* operation) const {
        return {"--port", QString::fromStdString(port), operation, "--images",
                QString::fromStdString(images.Path().string())};
    }

    // A run still going after `timeoutMs` fails the test and is killed.
    static CliRun Finish(QProcess& process, int timeoutMs = 120000) {
        if (!process.waitForFinished(timeoutMs)) {
            ADD_FAILURE() << "still running after " << timeoutMs << " ms";
            process.kill();
            process.waitForFinished();
        }
        CliRun run;
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = SplitLines(process.readAllStandardOutput());
        run.err = process.readAllStandardError().toStdString();
        return run;
    }

    static CliRun Run(const QStringList& arguments, int timeoutMs = 120000) {
        QProcess process;
        process.start(TOVRANE_CLI_PATH, arguments);
        return Finish(process, timeoutMs);
    }

    TempDir images;
    std::vector<std::unique_ptr<devsim::DeviceSimulator>> devices;
};

// Every line of a --json run parsed; the result object, which must end the output.
inline QJsonObject ResultOf(const CliRun& run) {
    int results = 0;
    QJsonObject last;
    for (const std::string& line : run.out) {
        QJsonParseError error{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_TRUE(document.isObject()) << line << ": " << error.errorString().toStdString();
        last = document.object();
        EXPECT_TRUE(last["t_ms"].isDouble()) << line;
        results += last["event"] == "result" ? 1 : 0;
    }
    EXPECT_EQ(results, 1);
    EXPECT_EQ(last["event"], "result");
    return last;
}
