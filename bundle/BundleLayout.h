#pragma once

#include <cstdint>
#include <string_view>

// The files of a bundle that are ever read: the manifest, its signature and the
// images it may name. Everything else in a bundle is skipped, never written.
inline constexpr char kManifestName[] = "manifest.json";
inline constexpr char kSignatureName[] = "manifest.json.sig";

// How large each of them may be; a bigger one refuses the bundle.
inline constexpr uint64_t kMaxManifestBytes = uint64_t{64} * 1024;
inline constexpr uint64_t kMaxSignatureBytes = uint64_t{16} * 1024;
inline constexpr uint64_t kMaxImageBytes = uint64_t{1} << 30;
// An archive's entries, and its bytes once unpacked (a README or release notes
// included), are bounded too, so a crafted archive cannot keep the reader busy.
inline constexpr uint64_t kMaxArchiveEntries = 10000;
inline constexpr uint64_t kMaxArchiveBytes = uint64_t{4} << 30;

// Whether `name` is one of the files above or an image's name.
bool IsBundleFileName(std::string_view name);
// The size bound of such a file.
uint64_t MaxBytesOf(std::string_view name);
