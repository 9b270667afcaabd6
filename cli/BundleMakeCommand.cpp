#include "cli/BundleMakeCommand.h"

#include "bundle/BundleMaker.h"
#include "cli/BundleResult.h"
#include "cli/CliWindow.h"
#include "cli/SignalPipe.h"

int RunBundleMaker(const CliOptions& options, CCliWindow& window) {
    const BundleRecipe recipe{options.bundle,        options.imageDirectory,
                              options.bundleName,    options.release,
                              options.steps,         options.versionPattern,
                              options.requireVerify, [] { return CSignalPipe::Caught() != 0; }};
    const MadeBundle made = MakeBundle(recipe);
    if (made.stopped) {
        return 128 + CSignalPipe::Caught();
    }
    if (!made.error.empty()) {
        window.PrintLine("No bundle made: " + made.error);
        return 1;
    }
    std::vector<std::string> images;
    for (const auto& [name, sha256] : made.manifest.images.value()) {
        images.push_back(name);
    }
    window.PrintLine("Made " + options.bundle + ": \"" + options.bundleName + "\" release " +
                     options.release + ", steps " +
                     CommaList(StepNames(made.manifest.steps.value())) + ", images " +
                     CommaList(images) +
                     ". Sign its manifest.json with ssh-keygen -Y sign -n tovrane-bundle to have "
                     "it trusted.");
    return 0;
}
