#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bundle/Manifest.h"

// What --make-bundle is asked to make.
struct BundleRecipe {
    std::string output;          // the archive; gzip-compressed when it ends .tar.gz or .tgz
    std::string imageDirectory;  // where dsp.hex, mcu_old.mot and mcu_new.mot are
    std::string name;
    std::string release;
    // nullopt: dsp where dsp.hex is present, mcu where an MCU image is, then version
    // when a version pattern is given.
    std::optional<std::vector<BundleStep>> steps;
    std::optional<std::string> versionPattern;
    bool requireVerify = false;
    std::function<bool()> stopped;
};

struct MadeBundle {
    std::string error;  // why nothing was made; empty when the archive was written
    bool stopped = false;
    Manifest manifest;  // what the archive's manifest says, once made
};

// Writes a bundle of the folder's images the steps need, with a manifest that
// names each image's SHA-256. Images today's checks refuse, a version pattern that
// does not compile or steps without their images make nothing. The archive is
// written under a temporary name beside `output` and renamed, so a failed make
// leaves nothing behind.
MadeBundle MakeBundle(const BundleRecipe& recipe);
