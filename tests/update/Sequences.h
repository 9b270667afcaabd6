#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Building expected command and log sequences.
using Lines = std::vector<std::string>;

inline Lines operator+(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

inline Lines Repeat(const std::string& text, int times) {
    return Lines(static_cast<std::size_t>(times), text);
}
