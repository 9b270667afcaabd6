#pragma once

#include <functional>
#include <string>

// The SHA-256 of a regular file's bytes in lower-case hex; empty when it cannot be
// read or is no regular file (a FIFO or a device is not read at all), or when
// `stopped` says so between two chunks.
std::string Sha256OfFile(const std::string& path, const std::function<bool()>& stopped = {});
