#include "bundle/BundleLayout.h"

#include "update/ImageFiles.h"

namespace {

bool IsImageName(std::string_view name) {
    for (const ImageName& image : kImageNames) {
        if (name == image.name) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsBundleFileName(std::string_view name) {
    return name == kManifestName || name == kSignatureName || IsImageName(name);
}

uint64_t MaxBytesOf(std::string_view name) {
    if (name == kManifestName) {
        return kMaxManifestBytes;
    }
    return name == kSignatureName ? kMaxSignatureBytes : kMaxImageBytes;
}
