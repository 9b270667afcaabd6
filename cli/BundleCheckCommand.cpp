#include "cli/BundleCheckCommand.h"

#include <QJsonArray>

#include "bundle/BundleCheck.h"
#include "cli/BundleResult.h"
#include "cli/CliWindow.h"
#include "cli/ImageCheckCommand.h"
#include "cli/JsonLines.h"
#include "cli/SignalPipe.h"

namespace {

std::string SignatureText(const CheckedBundle& bundle) {
    if (!bundle.signature.signer.empty()) {
        return "signed by " + bundle.signature.signer;
    }
    if (!bundle.hasSignature) {
        return "unsigned";
    }
    return bundle.signature.checked ? "signature refused" : "signature not checked (no trust file)";
}

QJsonObject BundleVerdictFields(const CheckedBundle& bundle) {
    const Manifest& manifest = bundle.manifest;
    QJsonObject fields = BundleIdentity(bundle);
    QJsonValue steps;
    if (manifest.steps) {
        QJsonArray names;
        for (const std::string& name : StepNames(*manifest.steps)) {
            names.append(QString::fromStdString(name));
        }
        steps = names;
    }
    fields.insert(jsonl::kSteps, steps);
    fields.insert(jsonl::kVersionPattern, manifest.versionPattern
                                              ? QString::fromStdString(*manifest.versionPattern)
                                              : QJsonValue());
    fields.insert(jsonl::kRequireVerify,
                  manifest.requireVerify ? QJsonValue(*manifest.requireVerify) : QJsonValue());
    fields.insert(jsonl::kAccepted, bundle.Accepted());
    fields.insert(jsonl::kReason, TextOrNull(bundle.refusal));
    return fields;
}

void PrintBundleVerdict(CCliWindow& window, bool json, const CheckedBundle& bundle,
                        const std::string& path) {
    if (json) {
        window.WriteEvent(jsonl::kBundleEvent, BundleVerdictFields(bundle));
        return;
    }
    std::string line = BundleTitle(bundle, path) + ": ";
    if (bundle.manifestFound) {
        const std::string steps =
            bundle.manifest.steps ? CommaList(StepNames(*bundle.manifest.steps)) : "-";
        line += "steps " + steps + "; " + SignatureText(bundle) + "; ";
    }
    window.PrintLine(line + (bundle.Accepted() ? "accepted" : "refused: " + bundle.refusal));
}

}  // namespace

int RunBundleCheck(const CliOptions& options, CCliWindow& window) {
    const CheckedBundle bundle = CheckBundle(
        options.bundle, {options.allowedSigners, [] { return CSignalPipe::Caught() != 0; }});
    if (bundle.stopped) {
        return 128 + CSignalPipe::Caught();
    }
    for (const BundleImage& image : bundle.images) {
        PrintImageVerdict(window, options.json,
                          {image.name, image.name, image.check, image.sha256, image.refusal});
    }
    PrintBundleVerdict(window, options.json, bundle, options.bundle);
    return bundle.Accepted() ? 0 : 1;
}
