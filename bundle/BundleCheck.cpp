#include "bundle/BundleCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

#include "bundle/ArchiveBundle.h"
#include "bundle/BundleLayout.h"
#include "bundle/DirectoryBundle.h"
#include "bundle/TrustFile.h"
#include "update/FileDigest.h"

namespace {

// Copies the bundle's files, whether it is a folder or an archive, into `copy`.
bool CopyBundle(const std::string& path, PrivateCopy& copy, const std::function<bool()>& stopped,
                std::string& error) {
    // The bundle's own path may be a link (a "current release" link, say); the
    // files inside it may not.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "the bundle " + path + " cannot be opened: " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    bool copied = false;
    if (::fstat(fd, &info) != 0) {
        error = "the bundle " + path + " cannot be read: " + std::strerror(errno);
    } else if (S_ISDIR(info.st_mode)) {
        copied = CopyDirectoryBundle(fd, copy, stopped, error);
    } else if (!S_ISREG(info.st_mode)) {
        error = "the bundle " + path +
                " is neither a folder nor a file (a FIFO or a device is "
                "never read)";
    } else if (info.st_size == 0) {
        error = "the bundle " + path + " is an empty file, not a tar archive";
    } else {
        copied = CopyArchiveBundle(fd, copy, stopped, error);
    }
    ::close(fd);
    return copied;
}

QByteArray ReadCopiedFile(const PrivateCopy& copy, const char* name) {
    QFile file(QString::fromStdString(copy.FilePath(name)));
    return file.open(QIODevice::ReadOnly) ? file.read(MaxBytesOf(name)) : QByteArray();
}

// Only the images the manifest names stay in the copy, so a run never sends another.
void KeepNamedImages(CheckedBundle& bundle) {
    for (const ImageName& image : kImageNames) {
        if (!bundle.manifest.images || !bundle.manifest.images->contains(image.name)) {
            bundle.copy.Remove(image.name);
        }
    }
}

BundleImage CheckCopiedImage(const CheckedBundle& bundle, const ImageName& image,
                             const std::string& expectedSha256,
                             const std::function<bool()>& stopped) {
    BundleImage checked{image.name, {}, {}, {}};
    if (!bundle.copy.Has(image.name)) {
        checked.refusal = "named in the manifest, but missing from the bundle";
        return checked;
    }
    const std::string path = bundle.copy.FilePath(image.name);
    checked.sha256 = Sha256OfFile(path, stopped);
    checked.check = CheckImage(path, image.kind, stopped);
    if (checked.sha256 != expectedSha256) {
        checked.refusal = "its SHA-256 differs from the manifest's (the image was changed)";
    } else {
        checked.refusal =
            ImageRefusal(checked.check, bundle.manifest.requireVerify.value_or(false));
    }
    return checked;
}

void CheckImages(CheckedBundle& bundle, const std::function<bool()>& stopped) {
    if (!bundle.manifest.images) {
        return;
    }
    for (const ImageName& image : kImageNames) {
        const auto named = bundle.manifest.images->find(image.name);
        if (named != bundle.manifest.images->end()) {
            bundle.images.push_back(CheckCopiedImage(bundle, image, named->second, stopped));
        }
    }
}

// The first refusal in the order the rules are listed: the manifest, the signature,
// then the images.
std::string FirstRefusal(const CheckedBundle& bundle, const std::string& manifestRefusal) {
    if (!manifestRefusal.empty()) {
        return manifestRefusal;
    }
    if (!bundle.signature.refusal.empty()) {
        return bundle.signature.refusal;
    }
    for (const BundleImage& image : bundle.images) {
        if (!image.refusal.empty()) {
            return image.name + ": " + image.refusal;
        }
    }
    return {};
}

}  // namespace

CheckedBundle CheckBundle(const std::string& path, const BundleCheckOptions& options) {
    CheckedBundle bundle;
    const auto stopped = [&] {
        bundle.stopped = bundle.stopped || (options.stopped && options.stopped());
        return bundle.stopped;
    };
    if (!bundle.copy.Create(bundle.refusal) ||
        !CopyBundle(path, bundle.copy, stopped, bundle.refusal)) {
        return bundle;
    }
    bundle.manifestFound = bundle.copy.Has(kManifestName);
    if (!bundle.manifestFound) {
        bundle.refusal = "the bundle has no manifest.json";
        return bundle;
    }
    const ManifestReading reading = ReadManifest(ReadCopiedFile(bundle.copy, kManifestName));
    bundle.manifest = reading.manifest;
    bundle.manifestSha256 = Sha256OfFile(bundle.copy.FilePath(kManifestName));
    KeepNamedImages(bundle);
    bundle.hasSignature = bundle.copy.Has(kSignatureName);
    bundle.signature =
        CheckSignature(bundle.copy.FilePath(kManifestName), bundle.copy.FilePath(kSignatureName),
                       TrustFileInForce(options.trustFile), stopped);
    if (stopped()) {
        return bundle;
    }
    CheckImages(bundle, stopped);
    if (!stopped()) {
        bundle.refusal = FirstRefusal(bundle, reading.refusal);
    }
    return bundle;
}
