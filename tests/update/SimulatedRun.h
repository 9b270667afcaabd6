#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "UpdateRig.h"
#include "tools/devsim/DeviceSimulator.h"

// A simulated device with the given loaders and version text.
inline devsim::Options DeviceOptions(devsim::Generation dsp, devsim::Generation mcu,
                                     const std::string& version) {
    devsim::Options options;
    options.device.dsp = dsp;
    options.device.mcu = mcu;
    options.device.versionText = version;
    return options;
}

// Runs an operation and waits until the device has seen the port close: it notices
// on its own thread, and the next run must find it back at 2400 baud.
inline bool PressAndAwaitClose(UpdateRig& rig, devsim::DeviceSimulator& device,
                               OperationModeValue mode) {
    const int ended = device.ConnectionsEnded();
    const bool ran = rig.Press(mode, device.SlavePath());
    EXPECT_TRUE(device.WaitForConnectionsEnded(ended + 1, std::chrono::seconds(5)));
    return ran;
}
