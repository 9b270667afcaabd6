// Feeds arbitrary bytes as an image file to the line reader with a small limit:
// every line handed out is within the limit, holds no line feed, and the lines
// rebuild the start of the file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update/ImageReader.h"

namespace {

constexpr std::size_t kLimit = 40;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The file's bytes with "\r\n" taken as "\n", as the reader sees line ends.
std::string ExpectedPrefix(std::string_view content, std::size_t lines) {
    std::string text;
    std::size_t start = 0;
    for (std::size_t i = 0; i < lines && start < content.size(); ++i) {
        std::size_t end = content.find('\n', start);
        std::string_view line = content.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        text.append(line);
        text += '\n';
        start = end == std::string_view::npos ? content.size() : end + 1;
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const int fd = ::memfd_create("image", MFD_CLOEXEC);
    Require(fd >= 0);
    Require(::write(fd, data, size) == static_cast<ssize_t>(size));

    ImageReader reader(kLimit);
    Require(reader.Open("/proc/self/fd/" + std::to_string(fd)));
    std::string line;
    std::string rebuilt;
    std::size_t lines = 0;
    ImageReader::Result result;
    while ((result = reader.ReadLine(line)) == ImageReader::Result::Line) {
        Require(line.size() <= kLimit);
        Require(line.find('\n') == std::string::npos);
        rebuilt += line + '\n';
        ++lines;
    }
    Require(!reader.IsOpen());
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    Require(rebuilt == ExpectedPrefix(content, lines));
    if (result == ImageReader::Result::End) {
        // Every byte was read: the last line may have had no line end.
        const std::string whole = ExpectedPrefix(content, size + 1);
        Require(rebuilt == whole);
    }
    ::close(fd);
    return 0;
}
