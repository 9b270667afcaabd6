#include "cli/ImageCheckCommand.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/CliResult.h"
#include "cli/CliWindow.h"
#include "cli/JsonLines.h"
#include "update/FileDigest.h"

namespace {

std::string Verdict(const ImageCheck& check, const std::string& refusal) {
    if (!refusal.empty()) {
        return "refused: " + refusal;
    }
    return check.hasCheckpoint ? "accepted" : "accepted, will not be verified";
}

}  // namespace

void PrintImageVerdict(CCliWindow& window, bool json, const ImageVerdict& verdict) {
    const ImageCheck& check = verdict.check;
    // A line fault ends the pass early: its block count would say nothing.
    const bool counted = check.readToEnd;
    if (json) {
        window.WriteEvent(jsonl::kImageEvent,
                          {{jsonl::kName, QString::fromStdString(verdict.name)},
                           {jsonl::kPath, QString::fromStdString(verdict.path)},
                           {jsonl::kBlocks, counted ? QJsonValue(static_cast<qint64>(check.blocks))
                                                    : QJsonValue(QJsonValue::Null)},
                           {jsonl::kCheckpoint, counted ? QJsonValue(check.hasCheckpoint)
                                                        : QJsonValue(QJsonValue::Null)},
                           {jsonl::kSha256, TextOrNull(verdict.sha256)},
                           {jsonl::kAccepted, verdict.refusal.empty()},
                           {jsonl::kReason, TextOrNull(verdict.refusal)}});
        return;
    }
    char line[512];
    std::snprintf(line, sizeof line, "%-11s  %7s blocks  checkpoint %-3s  %-64s  %s",
                  verdict.name.c_str(), counted ? std::to_string(check.blocks).c_str() : "-",
                  counted ? (check.hasCheckpoint ? "yes" : "no") : "-",
                  verdict.sha256.empty() ? "-" : verdict.sha256.c_str(),
                  Verdict(check, verdict.refusal).c_str());
    window.PrintLine(line);
}

int RunImageCheck(const CliOptions& options, CCliWindow& window) {
    if (!options.imageDirectory.empty()) {
        SetImageDirectory(options.imageDirectory);
    }
    const std::string directory = ImageDirectory();
    bool anyPresent = false;
    bool allAccepted = true;
    for (const ImageName& image : kImageNames) {
        const std::string path = directory + image.name;
        std::error_code error;
        if (!std::filesystem::exists(path, error)) {
            continue;
        }
        anyPresent = true;
        ImageVerdict verdict{
            image.name, path, CheckImage(path, image.kind), Sha256OfFile(path), {}};
        verdict.refusal = ImageRefusal(verdict.check, options.requireVerify);
        allAccepted = allAccepted && verdict.refusal.empty();
        PrintImageVerdict(window, options.json, verdict);
    }
    if (!anyPresent) {
        window.LogLine("No image in " + directory +
                       " (looked for dsp.hex, mcu_old.mot and mcu_new.mot). Give the folder "
                       "with --images DIR.");
        return 1;
    }
    return allAccepted ? 0 : 1;
}
