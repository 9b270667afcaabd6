#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bundle/Manifest.h"
#include "bundle/PrivateCopy.h"
#include "bundle/SignatureCheck.h"
#include "update/ImageFiles.h"

// One image the manifest names, as found in the private copy.
struct BundleImage {
    std::string name;
    ImageCheck check;     // uncounted when the image is missing
    std::string sha256;   // of the copy; empty when missing
    std::string refusal;  // why it refuses the bundle; empty when it does not
};

// A bundle copied and checked: everything a run or --check-bundle needs of it.
struct CheckedBundle {
    PrivateCopy copy;  // the files checked, which are the files a run sends
    bool manifestFound = false;
    Manifest manifest;
    std::string manifestSha256;
    bool hasSignature = false;
    SignatureCheck signature;
    std::vector<BundleImage> images;  // in the order dsp.hex, mcu_old.mot, mcu_new.mot
    // The first rule the bundle breaks, in words; empty when it would run.
    std::string refusal;
    bool stopped = false;  // Ctrl-C or SIGTERM cut the check short

    bool Accepted() const { return refusal.empty() && !stopped; }
};

struct BundleCheckOptions {
    std::string trustFile;          // --allowed-signers; empty: the default, if it exists
    std::function<bool()> stopped;  // asked between the pieces of work
};

// Copies the bundle at `path` (a folder or a tar archive, plain or gzip) into a
// private copy and checks it there: the manifest and its rules, the signature when a
// trust file is in force, each image's SHA-256 against the manifest and today's
// image checks (with the manifest's require_verify). Images the manifest does not
// name are not kept. Nothing of this touches a device.
CheckedBundle CheckBundle(const std::string& path, const BundleCheckOptions& options);
