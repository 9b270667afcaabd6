#include "bundle/BundleMaker.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>

#include "bundle/BundleLayout.h"
#include "bundle/DirectoryBundle.h"
#include "bundle/PrivateCopy.h"
#include "update/FileDigest.h"
#include "update/ImageFiles.h"

namespace {

constexpr std::size_t kChunkSize = std::size_t{64} * 1024;
constexpr int kEntryMode = 0644;
constexpr mode_t kArchiveMode = 0644;

bool IsGzipName(const std::string& path) {
    return path.ends_with(".tar.gz") || path.ends_with(".tgz");
}

// The images the folder holds, copied, so the bytes hashed are the bytes written.
bool CopyImages(const BundleRecipe& recipe, PrivateCopy& copy, std::string& error) {
    const int dir = ::open(recipe.imageDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        error = "the images folder " + recipe.imageDirectory +
                " cannot be opened: " + std::strerror(errno);
        return false;
    }
    bool copied = copy.Create(error);
    for (const ImageName& image : kImageNames) {
        if (copied && CopyFolderFile(dir, image.name, true, copy, recipe.stopped, error) ==
                          FileCopy::Failed) {
            copied = false;
        }
    }
    ::close(dir);
    return copied;
}

std::vector<BundleStep> DefaultSteps(const BundleRecipe& recipe, const PrivateCopy& copy) {
    std::vector<BundleStep> steps;
    if (copy.Has(kDspImageName)) {
        steps.push_back(BundleStep::Dsp);
    }
    if (copy.Has(kMcuOldImageName) || copy.Has(kMcuNewImageName)) {
        steps.push_back(BundleStep::Mcu);
    }
    if (recipe.versionPattern) {
        steps.push_back(BundleStep::Version);
    }
    return steps;
}

bool StepNeeds(const std::vector<BundleStep>& steps, ImageKind kind) {
    const BundleStep step = kind == ImageKind::Dsp ? BundleStep::Dsp : BundleStep::Mcu;
    return std::find(steps.begin(), steps.end(), step) != steps.end();
}

// The manifest of the images the steps need, each checked as an update would.
bool ComposeManifest(const BundleRecipe& recipe, PrivateCopy& copy, Manifest& manifest,
                     std::string& error) {
    const std::vector<BundleStep> steps = recipe.steps.value_or(DefaultSteps(recipe, copy));
    if (steps.empty()) {
        error = "no image in " + recipe.imageDirectory +
                " (looked for dsp.hex, mcu_old.mot and mcu_new.mot)";
        return false;
    }
    std::map<std::string, std::string> images;
    for (const ImageName& image : kImageNames) {
        if (!StepNeeds(steps, image.kind)) {
            copy.Remove(image.name);
            continue;
        }
        if (!copy.Has(image.name)) {
            continue;
        }
        const std::string path = copy.FilePath(image.name);
        const std::string refusal =
            ImageRefusal(CheckImage(path, image.kind, recipe.stopped), recipe.requireVerify);
        if (!refusal.empty()) {
            error = std::string(image.name) + " is refused: " + refusal;
            return false;
        }
        images[image.name] = Sha256OfFile(path, recipe.stopped);
    }
    manifest = Manifest{recipe.name, recipe.release,        steps,
                        images,      recipe.versionPattern, recipe.requireVerify};
    const std::string refusal = ReadManifest(ManifestText(manifest)).refusal;
    if (!refusal.empty()) {
        error = "the bundle would be refused: " + refusal;
        return false;
    }
    return true;
}

struct WriterFree {
    void operator()(archive* writer) const { archive_write_free(writer); }
};
using Writer = std::unique_ptr<archive, WriterFree>;

// Writes one plain-file entry of `size` bytes; `fill` hands out its bytes.
bool WriteEntry(archive* writer, const std::string& name, int64_t size,
                const std::function<bool(archive*)>& fill) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, kEntryMode);
    archive_entry_set_size(entry, size);
    archive_entry_set_mtime(entry, std::time(nullptr), 0);
    const bool written = archive_write_header(writer, entry) == ARCHIVE_OK && fill(writer);
    archive_entry_free(entry);
    return written;
}

bool WriteBytes(archive* writer, const char* data, std::size_t size) {
    return archive_write_data(writer, data, size) == static_cast<la_ssize_t>(size);
}

bool WriteFileEntry(archive* writer, const PrivateCopy& copy, const std::string& name,
                    const std::function<bool()>& stopped) {
    QFile file(QString::fromStdString(copy.FilePath(name)));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    return WriteEntry(writer, name, file.size(), [&](archive* out) {
        std::array<char, kChunkSize> chunk{};
        for (;;) {
            if (stopped && stopped()) {
                return false;
            }
            const qint64 n = file.read(chunk.data(), chunk.size());
            if (n <= 0) {
                return n == 0;
            }
            if (!WriteBytes(out, chunk.data(), static_cast<std::size_t>(n))) {
                return false;
            }
        }
    });
}

bool WriteArchive(int fd, const BundleRecipe& recipe, const Manifest& manifest,
                  const PrivateCopy& copy, std::string& error) {
    Writer writer(archive_write_new());
    const QByteArray text = ManifestText(manifest);
    bool written =
        writer && archive_write_set_format_pax_restricted(writer.get()) == ARCHIVE_OK &&
        (!IsGzipName(recipe.output) || archive_write_add_filter_gzip(writer.get()) == ARCHIVE_OK) &&
        archive_write_open_fd(writer.get(), fd) == ARCHIVE_OK &&
        WriteEntry(writer.get(), kManifestName, text.size(), [&](archive* out) {
            return WriteBytes(out, text.constData(), static_cast<std::size_t>(text.size()));
        });
    for (const auto& [name, sha256] : manifest.images.value()) {
        written = written && WriteFileEntry(writer.get(), copy, name, recipe.stopped);
    }
    written = written && archive_write_close(writer.get()) == ARCHIVE_OK;
    if (!written) {
        error = "cannot write " + recipe.output + ": " +
                (writer && archive_error_string(writer.get()) != nullptr
                     ? archive_error_string(writer.get())
                     : std::strerror(errno));
    }
    return written;
}

// Writes the archive under a temporary name beside the output, then renames it.
bool WriteOutput(const BundleRecipe& recipe, const Manifest& manifest, const PrivateCopy& copy,
                 std::string& error) {
    std::string temporary = recipe.output + ".partial-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = "cannot write " + recipe.output + ": " + std::strerror(errno);
        return false;
    }
    bool written = WriteArchive(fd, recipe, manifest, copy, error) &&
                   ::fchmod(fd, kArchiveMode) == 0 && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (written && ::rename(temporary.c_str(), recipe.output.c_str()) != 0) {
        error = "cannot write " + recipe.output + ": " + std::strerror(errno);
        written = false;
    }
    if (!written) {
        ::unlink(temporary.c_str());
        if (error.empty()) {
            error = "cannot write " + recipe.output + ": " + std::strerror(errno);
        }
    }
    return written;
}

}  // namespace

MadeBundle MakeBundle(const BundleRecipe& recipe) {
    MadeBundle made;
    PrivateCopy copy;
    Manifest manifest;
    const bool done = CopyImages(recipe, copy, made.error) &&
                      ComposeManifest(recipe, copy, manifest, made.error) &&
                      WriteOutput(recipe, manifest, copy, made.error);
    if (done) {
        made.manifest = manifest;
    } else {
        made.stopped = recipe.stopped && recipe.stopped();
    }
    return made;
}
