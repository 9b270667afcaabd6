#pragma once

#include "cli/CliOptions.h"

class CCliWindow;

// --check-images: checks each image present exactly as an update's count would,
// without a device, and prints one line (or JSON object) per image. Returns the
// exit status: 0 when every image present would be accepted, 1 otherwise (also
// when there is none).
int RunImageCheck(const CliOptions& options, CCliWindow& window);
