#include "cli/ImageCheckCommand.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/CliWindow.h"
#include "cli/FileDigest.h"
#include "cli/JsonLines.h"
#include "update/ImageFiles.h"

namespace {

struct ImageName {
    const char* name;
    ImageKind kind;
};

constexpr ImageName kImages[] = {
    {kDspImageName, ImageKind::Dsp},
    {kMcuOldImageName, ImageKind::Mcu},
    {kMcuNewImageName, ImageKind::Mcu},
};

// Why an update would refuse the image; empty when it would take it.
std::string Refusal(const ImageCheck& check, bool requireVerify) {
    if (!check.refusal.empty()) {
        return check.refusal;
    }
    return requireVerify && !check.hasCheckpoint
               ? "no checkpoint record, and verification is required"
               : std::string();
}

std::string Verdict(const ImageCheck& check, const std::string& refusal) {
    if (!refusal.empty()) {
        return "refused: " + refusal;
    }
    return check.hasCheckpoint ? "accepted" : "accepted, will not be verified";
}

void PrintImage(CCliWindow& window, bool json, const char* name, const std::string& path,
                const ImageCheck& check, const std::string& refusal) {
    const std::string sha256 = Sha256OfFile(path);
    // A line fault ends the pass early: its block count would say nothing.
    const bool counted = check.readToEnd;
    if (json) {
        window.WriteEvent(
            jsonl::kImageEvent,
            {{jsonl::kName, name},
             {jsonl::kPath, QString::fromStdString(path)},
             {jsonl::kBlocks, counted ? QJsonValue(static_cast<qint64>(check.blocks))
                                      : QJsonValue(QJsonValue::Null)},
             {jsonl::kCheckpoint,
              counted ? QJsonValue(check.hasCheckpoint) : QJsonValue(QJsonValue::Null)},
             {jsonl::kSha256, sha256.empty() ? QJsonValue(QJsonValue::Null)
                                             : QJsonValue(QString::fromStdString(sha256))},
             {jsonl::kAccepted, refusal.empty()},
             {jsonl::kReason, refusal.empty() ? QJsonValue(QJsonValue::Null)
                                              : QJsonValue(QString::fromStdString(refusal))}});
        return;
    }
    char line[512];
    std::snprintf(line, sizeof line, "%-11s  %7s blocks  checkpoint %-3s  %-64s  %s", name,
                  counted ? std::to_string(check.blocks).c_str() : "-",
                  counted ? (check.hasCheckpoint ? "yes" : "no") : "-",
                  sha256.empty() ? "-" : sha256.c_str(), Verdict(check, refusal).c_str());
    window.PrintLine(line);
}

}  // namespace

int RunImageCheck(const CliOptions& options, CCliWindow& window) {
    if (!options.imageDirectory.empty()) {
        SetImageDirectory(options.imageDirectory);
    }
    const std::string directory = ImageDirectory();
    bool anyPresent = false;
    bool allAccepted = true;
    for (const ImageName& image : kImages) {
        const std::string path = directory + image.name;
        std::error_code error;
        if (!std::filesystem::exists(path, error)) {
            continue;
        }
        anyPresent = true;
        const ImageCheck check = CheckImage(path, image.kind);
        const std::string refusal = Refusal(check, options.requireVerify);
        allAccepted = allAccepted && refusal.empty();
        PrintImage(window, options.json, image.name, path, check, refusal);
    }
    if (!anyPresent) {
        window.LogLine("No image in " + directory +
                       " (looked for dsp.hex, mcu_old.mot and mcu_new.mot). Give the folder "
                       "with --images DIR.");
        return 1;
    }
    return allAccepted ? 0 : 1;
}
