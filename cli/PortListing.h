#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "SerialLib/PortInfo/PortInfo.h"

// The port list of --list-ports: a heading, then one port per line in aligned
// columns (path, state, description, VID:PID, serial number, USB location, by-id
// link, by-path link; "-" where a port has none). Without ports, one line saying so and what to
// check.
std::string FormatPortList(const std::vector<CPortInfo>& ports);

// Prints the list to `out`, followed by what to do about ports without permission;
// returns the exit status, 0.
int PrintPortList(const std::vector<CPortInfo>& ports, std::FILE* out);
