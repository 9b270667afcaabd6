#include "bundle/DirectoryBundle.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "bundle/BundleLayout.h"
#include "bundle/PrivateCopy.h"
#include "update/ImageFiles.h"

namespace {

bool IsFolder(int dir, const std::string& name) {
    struct stat info {};
    return ::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
}

bool HasEntry(int dir, const std::string& name) {
    struct stat info {};
    return ::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

// The top-level folders of `dir` (not links to one) that hold a manifest.json.
std::vector<std::string> FoldersWithManifest(int dir) {
    std::vector<std::string> found;
    const int listing = ::dup(dir);
    DIR* stream = listing < 0 ? nullptr : ::fdopendir(listing);
    if (stream == nullptr) {
        if (listing >= 0) {
            ::close(listing);
        }
        return found;
    }
    ::rewinddir(stream);
    while (const dirent* entry = ::readdir(stream)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && IsFolder(dir, name) &&
            HasEntry(dir, name + '/' + kManifestName)) {
            found.push_back(name);
        }
    }
    ::closedir(stream);
    return found;
}

// The folder that holds manifest.json, opened: `dir` itself (duplicated) or its one
// top-level folder that does; -1 with `error` said otherwise.
int OpenManifestFolder(int dir, std::string& error) {
    if (HasEntry(dir, kManifestName)) {
        return ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
    }
    const std::vector<std::string> folders = FoldersWithManifest(dir);
    if (folders.empty()) {
        error = "the bundle has no manifest.json, neither at its top nor in a top-level folder";
        return -1;
    }
    if (folders.size() > 1) {
        error = "more than one top-level folder of the bundle holds a manifest.json (" +
                folders[0] + ", " + folders[1] + ")";
        return -1;
    }
    const int folder =
        ::openat(dir, folders[0].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        error = "the bundle's folder " + folders[0] + " cannot be opened: " + std::strerror(errno);
    }
    return folder;
}

}  // namespace

FileCopy CopyFolderFile(int dir, const std::string& name, bool followLinks, PrivateCopy& copy,
                        const std::function<bool()>& stopped, std::string& error) {
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::openat(dir, name.c_str(), flags);
    if (fd < 0) {
        if (errno == ENOENT) {
            return FileCopy::Missing;
        }
        error = errno == ELOOP ? name + " is a link; the files of a bundle must be plain files"
                               : name + " cannot be opened: " + std::strerror(errno);
        return FileCopy::Failed;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = name + " is not a plain file (a folder, FIFO or device is never read)";
        return FileCopy::Failed;
    }
    const ChunkSource source = [fd](char* buffer, std::size_t size, std::string& why) {
        ssize_t n = 0;
        do {
            n = ::read(fd, buffer, size);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            why = std::strerror(errno);
        }
        return n;
    };
    const bool copied = copy.Fill(name, source, MaxBytesOf(name), stopped, error);
    ::close(fd);
    return copied ? FileCopy::Copied : FileCopy::Failed;
}

bool CopyDirectoryBundle(int dir, PrivateCopy& copy, const std::function<bool()>& stopped,
                         std::string& error) {
    const int folder = OpenManifestFolder(dir, error);
    if (folder < 0) {
        return false;
    }
    std::vector<std::string> names{kManifestName, kSignatureName};
    for (const ImageName& image : kImageNames) {
        names.emplace_back(image.name);
    }
    bool copied = true;
    for (const std::string& name : names) {
        if (CopyFolderFile(folder, name, false, copy, stopped, error) == FileCopy::Failed) {
            copied = false;
            break;
        }
    }
    ::close(folder);
    return copied;
}
