#include "update/ImageFiles.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "link/SharedState.h"

namespace {

constexpr std::size_t kPathPieceLength = 50;
constexpr std::size_t kPathPieces = 3;

SharedText& InjectedDirectory() {
    static SharedText directory;
    return directory;
}

// The running executable's directory with its trailing '/'; empty if unknown.
std::string ExecutableDirectory() {
    std::array<char, PATH_MAX> path{};
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) {
        return {};
    }
    const std::string exe(path.data(), static_cast<std::size_t>(n));
    const std::size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

std::string Numbered(const char* format, uint32_t number) {
    std::array<char, 96> text{};
    std::snprintf(text.data(), text.size(), format, static_cast<unsigned>(number));
    return text.data();
}

}  // namespace

void SetImageDirectory(std::string directory) {
    InjectedDirectory().Set(std::move(directory));
}

std::string ImageDirectory() {
    std::string directory = InjectedDirectory().Get();
    if (directory.empty()) {
        return ExecutableDirectory();
    }
    if (directory.back() != '/') {
        directory += '/';
    }
    return directory;
}

bool ImageFileExists(const std::string& name) {
    const std::string path = ImageDirectory() + name;
    Shared().ImagePath.Set(path);
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::vector<std::string> ImagePathLogLines(std::string_view path) {
    std::vector<std::string> lines;
    const std::size_t logged = std::min(path.size(), kPathPieceLength * kPathPieces);
    const std::size_t pieces = logged == 0 ? 1 : (logged + kPathPieceLength - 1) / kPathPieceLength;
    for (std::size_t piece = pieces; piece-- > 0;) {
        lines.emplace_back(path.substr(piece * kPathPieceLength, kPathPieceLength));
    }
    return lines;
}

ImageKind ImageKindForMode(int32_t mode) {
    return mode == ModeMcu ? ImageKind::Mcu : ImageKind::Dsp;
}

bool ImagePass::Open(const std::string& path) {
    m_lineNumber = 0;
    m_fault = LineFault::None;
    m_readError = false;
    return m_reader.Open(path);
}

ImagePass::Next ImagePass::NextLine(std::string& line) {
    switch (m_reader.ReadLine(line)) {
        case ImageReader::Result::Line:
            break;
        case ImageReader::Result::End:
            return Next::End;
        case ImageReader::Result::LineTooLong:
            ++m_lineNumber;
            m_fault = LineFault::TooLong;
            return Next::Fault;
        case ImageReader::Result::ReadError:
            m_readError = true;
            return Next::Fault;
    }
    ++m_lineNumber;
    m_fault = m_kind == ImageKind::Mcu ? CheckMcuLine(line) : CheckDspLine(line);
    if (m_fault != LineFault::None) {
        m_reader.Close();
        return Next::Fault;
    }
    return Next::Line;
}

bool ImagePass::IsBlock(std::string_view line) const {
    return m_kind == ImageKind::Dsp || IsMcuBlock(line);
}

bool ImagePass::IsCheckpoint(std::string_view line) const {
    return m_kind == ImageKind::Dsp ? IsDspCheckpoint(line) : IsMcuCheckpoint(line);
}

std::string ImagePass::FaultText() const {
    if (m_readError) {
        return "Image file read fail!";
    }
    switch (m_fault) {
        case LineFault::TooLong:
            return Numbered("Image line %u is too long!", m_lineNumber);
        case LineFault::NotText:
            return Numbered("Image line %u is not text!", m_lineNumber);
        case LineFault::RecordTooLong:
            return Numbered("Image line %u: record too long!", m_lineNumber);
        case LineFault::RecordTruncated:
            return Numbered("Image line %u: record too short!", m_lineNumber);
        case LineFault::AddressTruncated:
            return Numbered("Image line %u: address too short!", m_lineNumber);
        case LineFault::RecordNotHex:
            return Numbered("Image line %u: record is not hex digits!", m_lineNumber);
        case LineFault::ChecksumWrong:
            return Numbered("Image line %u: record checksum wrong!", m_lineNumber);
        case LineFault::None:
            break;
    }
    return {};
}

ImageCheck CheckImage(const std::string& path, ImageKind kind,
                      const std::function<bool()>& stopped) {
    ImageCheck check;
    ImagePass pass(kind);
    check.opened = pass.Open(path);
    if (!check.opened) {
        check.refusal = "Can not open image file!";
        return check;
    }
    std::string line;
    for (;;) {
        if (stopped && stopped()) {
            check.stopped = true;
            return check;
        }
        const ImagePass::Next next = pass.NextLine(line);
        if (next == ImagePass::Next::End) {
            break;
        }
        if (next == ImagePass::Next::Fault) {
            check.refusal = pass.FaultText();
            return check;
        }
        if (pass.IsBlock(line)) {
            ++check.blocks;
            check.hasCheckpoint = check.hasCheckpoint || pass.IsCheckpoint(line);
        }
    }
    check.readToEnd = true;
    if (check.blocks == 0) {
        check.refusal = "Image file has no block to send!";
    }
    return check;
}

std::string ImageRefusal(const ImageCheck& check, bool requireCheckpoint) {
    if (!check.refusal.empty()) {
        return check.refusal;
    }
    return requireCheckpoint && !check.hasCheckpoint
               ? "no checkpoint record, and verification is required"
               : std::string();
}

bool CountImageBlocks(GuardedWindow& window, bool requireCheckpoint) {
    ProcessValues& shared = Shared();
    const std::string path = shared.ImagePath.Get();
    for (const std::string& piece : ImagePathLogLines(path)) {
        window.Log(piece);
    }
    shared.TotalBlocks = 0;
    const ImageCheck check =
        CheckImage(path, ImageKindForMode(shared.OperationMode), [&] { return window.Stopped(); });
    if (check.stopped) {
        return false;
    }
    if (!check.refusal.empty()) {
        window.Log(check.refusal);
        if (check.opened) {
            window.Log(kImageRefusedLine);
        }
        return false;
    }
    shared.TotalBlocks = check.blocks;
    const std::string total = std::to_string(check.blocks);
    shared.TotalBlocksText.Set(total);
    window.Log("Total blocks:" + total);
    if (!check.hasCheckpoint) {
        window.Log(kNoCheckpointLine);
        if (requireCheckpoint) {
            window.Log("Verification is required, so the image cannot be used.");
            window.Log(kImageRefusedLine);
            return false;
        }
    }
    window.SetProgressPos(0);
    shared.PercentText.Set("0%");
    shared.WrittenBlocks = 0;
    return true;
}
