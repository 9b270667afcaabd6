#include "bundle/ArchiveBundle.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <vector>

#include "bundle/BundleLayout.h"
#include "bundle/PrivateCopy.h"

namespace {

constexpr std::size_t kReadBlockBytes = std::size_t{64} * 1024;
constexpr const char* kOnlyPlainFiles = "; a bundle holds only plain files and folders";

using Parts = std::vector<std::string>;
// Called for each plain file with its path's parts; false with `error` to stop.
using FileVisitor = std::function<bool(const Parts& parts, archive* reader, std::string& error)>;

struct ReaderFree {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using Reader = std::unique_ptr<archive, ReaderFree>;

std::string ArchiveError(archive* reader) {
    const char* text = archive_error_string(reader);
    return text != nullptr ? text : "unknown error";
}

Reader OpenReader(int fd, std::string& error) {
    Reader reader(archive_read_new());
    if (!reader || ::lseek(fd, 0, SEEK_SET) != 0) {
        error = "the bundle cannot be read";
        return {};
    }
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_fd(reader.get(), fd, kReadBlockBytes) != ARCHIVE_OK) {
        error = "the bundle cannot be read as a tar archive (plain or gzip): " +
                ArchiveError(reader.get());
        return {};
    }
    return reader;
}

// The entry's path in parts, "." and empty parts left out; false with `error` when
// the path is absolute or climbs out with "..".
bool SplitPath(const std::string& path, Parts& parts, std::string& error) {
    if (path.starts_with('/')) {
        error =
            "the archive entry " + path + " has an absolute path; a bundle's paths stay inside it";
        return false;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, slash - start);
        if (part == "..") {
            error = "the archive entry " + path + " leaves the bundle (..)";
            return false;
        }
        if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    return true;
}

// Why the entry's kind refuses the bundle; empty for a plain file or a folder.
std::string KindRefusal(archive_entry* entry, const std::string& path) {
    if (archive_entry_hardlink(entry) != nullptr) {
        return "the archive entry " + path + " is a hard link" + kOnlyPlainFiles;
    }
    switch (archive_entry_filetype(entry)) {
        case AE_IFREG:
        case AE_IFDIR:
            return {};
        case AE_IFLNK:
            return "the archive entry " + path + " is a symbolic link" + kOnlyPlainFiles;
        case AE_IFCHR:
        case AE_IFBLK:
            return "the archive entry " + path + " is a device" + kOnlyPlainFiles;
        case AE_IFIFO:
            return "the archive entry " + path + " is a FIFO" + kOnlyPlainFiles;
        case AE_IFSOCK:
            return "the archive entry " + path + " is a socket" + kOnlyPlainFiles;
        default:
            return "the archive entry " + path + " is of an unknown kind" + kOnlyPlainFiles;
    }
}

// One pass over the archive: every entry checked, every plain file handed to `visit`.
bool WalkArchive(int fd, const std::function<bool()>& stopped, const FileVisitor& visit,
                 std::string& error) {
    Reader reader = OpenReader(fd, error);
    if (!reader) {
        return false;
    }
    uint64_t entries = 0;
    uint64_t bytes = 0;
    for (;;) {
        if (stopped && stopped()) {
            error = "stopped";
            return false;
        }
        archive_entry* entry = nullptr;
        const int next = archive_read_next_header(reader.get(), &entry);
        if (next == ARCHIVE_EOF) {
            return true;
        }
        if (next != ARCHIVE_OK && next != ARCHIVE_WARN) {
            error = "the bundle's archive cannot be read: " + ArchiveError(reader.get());
            return false;
        }
        const char* name = archive_entry_pathname(entry);
        if (name == nullptr) {
            error = "an archive entry's name cannot be read";
            return false;
        }
        bytes += archive_entry_size_is_set(entry) != 0
                     ? static_cast<uint64_t>(std::max<la_int64_t>(archive_entry_size(entry), 0))
                     : 0;
        if (++entries > kMaxArchiveEntries || bytes > kMaxArchiveBytes) {
            error = "the bundle's archive holds more than " + std::to_string(kMaxArchiveEntries) +
                    " entries or " + SizeText(kMaxArchiveBytes) + "; a bundle is far smaller";
            return false;
        }
        Parts parts;
        if (!SplitPath(name, parts, error)) {
            return false;
        }
        error = KindRefusal(entry, name);
        if (!error.empty()) {
            return false;
        }
        if (archive_entry_filetype(entry) == AE_IFREG && !visit(parts, reader.get(), error)) {
            return false;
        }
    }
}

// The folder that holds manifest.json ("" for the top), as the first pass finds it.
bool FindManifestFolder(int fd, const std::function<bool()>& stopped, std::string& folder,
                        std::string& error) {
    std::set<std::string> folders;
    const FileVisitor note = [&folders](const Parts& parts, archive*, std::string&) {
        if (parts.size() <= 2 && parts.back() == kManifestName) {
            folders.insert(parts.size() == 1 ? std::string() : parts.front());
        }
        return true;
    };
    if (!WalkArchive(fd, stopped, note, error)) {
        return false;
    }
    if (folders.empty()) {
        error = "the bundle has no manifest.json, neither at its top nor in a top-level folder";
        return false;
    }
    if (folders.size() > 1) {
        error = "the bundle holds more than one manifest.json (at its top and in folders)";
        return false;
    }
    folder = *folders.begin();
    return true;
}

}  // namespace

bool CopyArchiveBundle(int fd, PrivateCopy& copy, const std::function<bool()>& stopped,
                       std::string& error) {
    std::string folder;
    if (!FindManifestFolder(fd, stopped, folder, error)) {
        return false;
    }
    const std::size_t depth = folder.empty() ? 1 : 2;
    const FileVisitor extract = [&](const Parts& parts, archive* reader, std::string& why) {
        if (parts.size() != depth || (depth == 2 && parts.front() != folder) ||
            !IsBundleFileName(parts.back())) {
            return true;  // skipped, never written
        }
        const ChunkSource source = [reader](char* buffer, std::size_t size, std::string& what) {
            const la_ssize_t n = archive_read_data(reader, buffer, size);
            if (n < 0) {
                what = ArchiveError(reader);
                return ssize_t{-1};
            }
            return static_cast<ssize_t>(n);
        };
        return copy.Fill(parts.back(), source, MaxBytesOf(parts.back()), stopped, why);
    };
    return WalkArchive(fd, stopped, extract, error);
}
