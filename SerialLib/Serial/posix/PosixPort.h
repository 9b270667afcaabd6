#pragma once

#include "SerialLib/Serial/posix/PortLayer.h"

// The port layer over a POSIX tty (see PosixPort.cpp for how each operation is
// realised).
class PosixPortLayer final : public IPortLayer {
  public:
    int32_t Open(const char* device, bool overlapped, std::unique_ptr<IPort>& port) override;
    int32_t GetDefaultConfig(const char* device, COMMCONFIG& config, uint32_t& size) override;
};
