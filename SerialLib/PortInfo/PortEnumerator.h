#pragma once

#include <set>
#include <string>
#include <vector>

#include "SerialLib/PortInfo/PortInfo.h"

// Where the system shows its devices; tests point both at a fake tree.
struct PortRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
};

// Lists the serial devices the kernel has, from sysfs and the device nodes in the
// dev root (no udev needed): USB-serial adapters first, then CDC-ACM devices, then
// on-board and other UARTs, in natural number order inside each group. Phantom
// 8250 ports (a UART of unknown type) and devices without a node are left out.
// Each port's state comes from a brief open (ProbePortState); its by-id and by-path
// links from one read of each folder.
class CPortEnumerator {
  public:
    explicit CPortEnumerator(PortRoots roots = {});

    // Ports whose path is in `held` (the caller's own, in use) are reported busy
    // without a probe, so the probe's brief lock cannot get in the way of the
    // caller's own open.
    std::vector<CPortInfo> Ports(const std::set<std::string>& held = {}) const;
    const PortRoots& Roots() const { return m_roots; }

  private:
    PortRoots m_roots;
};
