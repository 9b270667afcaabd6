#pragma once

#include "cli/CliOptions.h"

class CCliWindow;

// --make-bundle: writes a bundle of the images in --images with its manifest and
// says what it wrote, or why it wrote nothing. Returns the exit status: 0 when the
// archive was written, 1 otherwise.
int RunBundleMaker(const CliOptions& options, CCliWindow& window);
