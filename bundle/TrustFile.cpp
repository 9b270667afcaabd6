#include "bundle/TrustFile.h"

#include <sys/stat.h>

#include <mutex>

namespace {

std::mutex g_mutex;
std::string g_defaultTrustFile = kDefaultTrustFile;

std::string DefaultTrustFile() {
    std::lock_guard lock(g_mutex);
    return g_defaultTrustFile;
}

}  // namespace

void SetDefaultTrustFileForTests(std::string path) {
    std::lock_guard lock(g_mutex);
    g_defaultTrustFile = std::move(path);
}

std::string TrustFileInForce(const std::string& given) {
    if (!given.empty()) {
        return given;
    }
    const std::string fallback = DefaultTrustFile();
    struct stat info {};
    return ::lstat(fallback.c_str(), &info) == 0 ? fallback : std::string();
}
