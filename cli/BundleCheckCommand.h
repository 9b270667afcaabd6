#pragma once

#include "cli/CliOptions.h"

class CCliWindow;

// --check-bundle: checks the bundle exactly as --bundle would, without a device, and
// prints one line (or {"event":"image"} object) per image the manifest names, then
// one line (or {"event":"bundle"} object) for the bundle. Returns the exit status:
// 0 when the bundle would run, 1 otherwise.
int RunBundleCheck(const CliOptions& options, CCliWindow& window);
