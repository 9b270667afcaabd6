#pragma once

#include <span>
#include <string>
#include <string_view>

// Commands and replies as they travel on the line.

// Every command ends in one carriage return, and so does every reply.
inline constexpr char kCr = 13;

// The version query (Read Version), answered with the device's version text. A
// reply shorter than kVersionMinLength characters is no version.
inline constexpr char kVersionQuery[] = "I";
inline constexpr int kVersionMinLength = 9;

// `text` followed by CR.
std::string CrCommand(const char* text);
// `name` followed by DeviceIndex + 1 in three digits and CR: ":dsp" gives :dsp001 + CR.
std::string DeviceCommand(const char* name);

bool StartsWithAny(std::string_view text, std::span<const std::string_view> prefixes);
