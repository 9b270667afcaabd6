// Opening and closing the connection, and loader detection.
#include <cctype>

#include "SerialLib/Serial/PortError.h"
#include "link/Commands.h"
#include "link/DeviceLink.h"
#include "link/SharedState.h"
#include "link/Timeouts.h"

namespace {

constexpr uint32_t kSlowBaud = 2400;
constexpr uint32_t kFastBaud = 9600;
constexpr int kBaudSwitchTries = 3;

// Why a port would not open, in words an operator can act on.
std::string ExplainOpenFailure(const PortError& failure, const std::string& port) {
    switch (failure.kind) {
        case PortErrorKind::NoDevice:
            return "There is no device " + port +
                   ". Check the cable and the port name (USB adapters appear as /dev/ttyUSB0 "
                   "or /dev/ttyACM0).";
        case PortErrorKind::NoPermission:
            return "Permission denied: your user may not open " + port +
                   ". Add it to the dialout group (sudo usermod -aG dialout $USER), then log "
                   "out and in again.";
        case PortErrorKind::Busy:
            return port +
                   " is busy: another program holds it (for example ModemManager or a terminal "
                   "program). Close that program and try again.";
        case PortErrorKind::DeviceGone:
            return "The device on " + port +
                   " stopped answering; it may have been unplugged. Reconnect it and try again.";
        case PortErrorKind::NotSerialPort:
            return port +
                   " is not a serial port. Give the device of the adapter, for example "
                   "/dev/ttyUSB0, /dev/ttyACM0 or its link in /dev/serial/by-id.";
        default:
            return "Opening " + port + " failed: " + failure.text + ".";
    }
}

}  // namespace

bool CDeviceLink::SetupLine(uint32_t baud) {
    return m_serial.Setup(baud, 8, NOPARITY, ONESTOPBIT) == ERROR_SUCCESS;
}

CDeviceLink::Opening CDeviceLink::OpenPort(const std::string& portName, bool switchBaud) {
    // Nothing of an earlier connection is still on its way on a new one.
    m_unansweredCommand.clear();
    m_lateReplyPossible = false;
    {
        std::lock_guard lock(m_portMutex);
        CloseIfOpen();
        if (m_serial.Open(portName.c_str(), this) != ERROR_SUCCESS) {
            const PortError failure = DescribeStatus(m_serial.GetLastStatus());
            CloseIfOpen();  // a port left open by a late failure inside Open is no use either
            if (!StopRequested()) {
                m_window.ShowMessage(
                    {"Cannot open serial port", "", ExplainOpenFailure(failure, portName)});
            }
            return Opening::OpenFailed;
        }
    }
    auto failSetup = [this] {
        ClosePortQuietly();
        Log(" Setup serial port  fail!");
    };
    if (!SetupLine(kSlowBaud)) {
        failSetup();
        return Opening::SetupFailed;
    }
    if (!switchBaud) {
        return Opening::Opened;
    }
    const std::string command = CrCommand("BDR96");
    for (int attempt = 0; attempt < kBaudSwitchTries && !StopRequested(); ++attempt) {
        char reply[kReplySize] = {};
        if (SendCommand(command.c_str(), reply) > 0 &&
            std::string_view(reply).starts_with("(ACK")) {
            break;
        }
    }
    if (!SetupLine(kFastBaud)) {
        failSetup();
        return Opening::SetupFailed;
    }
    Log(portName + " was opened!");
    return Opening::Opened;
}

bool CDeviceLink::CloseIfOpen() {
    if (!m_serial.IsOpen()) {
        return false;
    }
    m_serial.Close();
    return true;
}

bool CDeviceLink::ClosePortQuietly() {
    std::lock_guard lock(m_portMutex);
    return CloseIfOpen();
}

void CDeviceLink::ClosePort() {
    if (ClosePortQuietly()) {
        Log("Com was closed");
    }
}

// Up to `series` series of up to `tries` tries each. A series that brings "ST"
// ends at once and the next series follows; a series without "ST" ends the phase.
void CDeviceLink::RunDetectSeries(const char* command, int series, int tries,
                                  LoaderGeneration& result) {
    for (int s = 0; s < series; ++s) {
        bool gotSt = false;
        for (int t = 0; t < tries && !gotSt; ++t) {
            char reply[kReplySize] = {};
            if (SendCommand(command, reply) > 0) {
                gotSt = std::string_view(reply).starts_with("ST");
                result = gotSt ? LoaderNew : LoaderNone;
            }
        }
        if (!gotSt) {
            return;
        }
    }
}

LoaderGeneration CDeviceLink::DetectLoader() {
    LoaderGeneration result = LoaderNone;
    const bool dsp = Shared().OperationMode == ModeDsp;
    Shared().ReplyTimeout =
        dsp ? timing::kDetectDspReplyTimeoutMs : timing::kDetectMcuReplyTimeoutMs;
    std::string command = DeviceCommand(dsp ? ":dsp" : "MCU");

    RunDetectSeries(command.c_str(), 2, 4, result);
    if (result == LoaderNone) {
        for (char& c : command) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        RunDetectSeries(command.c_str(), 2, 2, result);
    }
    if (result == LoaderNone) {
        static constexpr std::string_view kDspOld[] = {":dsp", ":efh", ":st"};
        static constexpr std::string_view kMcuOld[] = {"mcu", "se", "sp"};
        char reply[kReplySize] = {};
        if (SendCommand(command.c_str(), reply) > 0 &&
            StartsWithAny(reply, dsp ? std::span(kDspOld) : std::span(kMcuOld))) {
            result = LoaderOld;
        }
    }
    return result;
}
