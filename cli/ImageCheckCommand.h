#pragma once

#include <string>

#include "cli/CliOptions.h"
#include "update/ImageFiles.h"

class CCliWindow;

// What a check found of one image, as --check-images and --check-bundle print it.
struct ImageVerdict {
    std::string name;
    std::string path;     // where it was read (a bundle's image: its name in the bundle)
    ImageCheck check;     // a line fault or a missing file leaves the count unknown
    std::string sha256;   // empty when the file could not be read
    std::string refusal;  // why it would not be sent; empty when it would be
};

// One line, or one {"event":"image",...} object with --json.
void PrintImageVerdict(CCliWindow& window, bool json, const ImageVerdict& verdict);

// --check-images: checks each image present exactly as an update's count would,
// without a device, and prints one line (or JSON object) per image. Returns the
// exit status: 0 when every image present would be accepted, 1 otherwise (also
// when there is none).
int RunImageCheck(const CliOptions& options, CCliWindow& window);
