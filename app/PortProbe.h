#pragma once

#include <functional>
#include <string>
#include <vector>

// Tells whether a serial device path can be opened now.
using PortProbe = std::function<bool(const std::string& path)>;

// The device paths probed, in order: /dev/ttyUSB0..29, /dev/ttyACM0..29, /dev/ttyS0..29.
std::vector<std::string> CandidatePorts();

// Opens the path as a port would be opened and closes it at once. A path that
// is absent, or held exclusively by another program, does not open.
bool PortOpens(const std::string& path);

// The candidates that `probe` accepts, in probing order.
std::vector<std::string> ProbePorts(const PortProbe& probe);
