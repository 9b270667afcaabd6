#include "update/FailureDetail.h"

#include <array>
#include <cstdio>

namespace {

// A loader's reply is a few characters; anything longer is cut here.
constexpr std::size_t kShownReplyChars = 32;

std::string Printable(std::string_view reply) {
    std::string text;
    for (const char c : reply.substr(0, kShownReplyChars)) {
        text += c >= ' ' && c <= '~' ? c : '?';
    }
    if (reply.size() > kShownReplyChars) {
        text += "...";
    }
    return text;
}

}  // namespace

std::string RecordFailureDetail(uint32_t block, uint32_t total, std::string_view reply,
                                ReplyEnd end) {
    std::string text = "block " + std::to_string(block) + " of " + std::to_string(total);
    if (!reply.empty()) {
        return text + " refused: " + Printable(reply);
    }
    const std::string_view why = ReplyEndText(end);
    return text + ": " + std::string(why.empty() ? "empty reply" : why);
}

std::string SumMismatchDetail(uint16_t imageSum, uint16_t deviceSum) {
    std::array<char, 48> text{};
    std::snprintf(text.data(), text.size(), "image sum %04X, device sum %04X",
                  static_cast<unsigned>(imageSum), static_cast<unsigned>(deviceSum));
    return text.data();
}
