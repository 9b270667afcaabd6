#include "link/Commands.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "link/SharedState.h"

std::string CrCommand(const char* text) {
    return std::string(text) + kCr;
}

std::string DeviceCommand(const char* name) {
    std::array<char, 32> command{};
    std::snprintf(command.data(), command.size(), "%s%03d%c", name,
                  static_cast<int>(Shared().DeviceIndex + 1), kCr);
    return command.data();
}

bool StartsWithAny(std::string_view text, std::span<const std::string_view> prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [text](std::string_view prefix) { return text.starts_with(prefix); });
}
