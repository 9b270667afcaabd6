// Opening and closing the connection, and loader detection.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "SerialLib/Serial/PortError.h"
#include "link/DeviceLink.h"
#include "link/SharedState.h"
#include "link/Timeouts.h"

namespace {

constexpr uint32_t kSlowBaud = 2400;
constexpr uint32_t kFastBaud = 9600;
constexpr int kBaudSwitchTries = 3;
constexpr char kCr = 13;

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

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

CDeviceLink::Opening CDeviceLink::OpenPort(bool switchBaud) {
    // Nothing of an earlier connection is still on its way on a new one.
    m_unansweredCommand.clear();
    m_lateReplyPossible = false;
    {
        std::lock_guard lock(m_portMutex);
        if (m_serial.IsOpen()) {
            m_serial.Close();
        }
        if (m_serial.Open(m_strPortName.c_str(), this) != ERROR_SUCCESS) {
            const PortError failure = DescribeStatus(m_serial.GetLastStatus());
            // A port left open by a late failure inside Open is not usable either.
            if (m_serial.IsOpen()) {
                m_serial.Close();
            }
            if (!StopRequested()) {
                m_window.ShowMessage(
                    {"Cannot open serial port", "", ExplainOpenFailure(failure, m_strPortName)});
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
    char command[16] = {};
    std::snprintf(command, sizeof command, "BDR96%c", kCr);
    for (int attempt = 0; attempt < kBaudSwitchTries && !StopRequested(); ++attempt) {
        char reply[kReplySize] = {};
        if (SendCommand(command, reply) > 0 && StartsWith(reply, "(ACK")) {
            break;
        }
    }
    if (!SetupLine(kFastBaud)) {
        failSetup();
        return Opening::SetupFailed;
    }
    Log(m_strPortName + " was opened!");
    return Opening::Opened;
}

void CDeviceLink::ClosePortQuietly() {
    std::lock_guard lock(m_portMutex);
    if (m_serial.IsOpen()) {
        m_serial.Close();
    }
}

void CDeviceLink::ClosePort() {
    bool wasOpen = false;
    {
        std::lock_guard lock(m_portMutex);
        wasOpen = m_serial.IsOpen();
        if (wasOpen) {
            m_serial.Close();
        }
    }
    if (wasOpen) {
        Log("Com was closed");
    }
}

// Up to `series` series of up to `tries` tries each. A series that brings "ST"
// ends at once and the next series follows; a series without "ST" ends the phase.
void CDeviceLink::RunDetectSeries(const char* command, int series, int tries, int& result) {
    for (int s = 0; s < series; ++s) {
        bool gotSt = false;
        for (int t = 0; t < tries && !gotSt; ++t) {
            char reply[kReplySize] = {};
            if (SendCommand(command, reply) > 0) {
                gotSt = StartsWith(reply, "ST");
                result = gotSt ? LoaderNew : LoaderNone;
            }
        }
        if (!gotSt) {
            return;
        }
    }
}

int CDeviceLink::DetectLoader() {
    int result = LoaderNone;
    const bool dsp = Shared().OperationMode == ModeDsp;
    char command[32] = {};
    if (dsp) {
        Shared().ReplyTimeout = timing::kDetectDspReplyTimeoutMs;
        std::snprintf(command, sizeof command, ":dsp%03d%c", Shared().DeviceIndex + 1, kCr);
    } else {
        Shared().ReplyTimeout = timing::kDetectMcuReplyTimeoutMs;
        std::snprintf(command, sizeof command, "MCU%03d%c", Shared().DeviceIndex + 1, kCr);
    }

    RunDetectSeries(command, 2, 4, result);
    if (result == LoaderNone) {
        for (char* c = command; *c != '\0'; ++c) {
            *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        }
        RunDetectSeries(command, 2, 2, result);
    }
    if (result == LoaderNone) {
        static const char* const kDspOld[] = {":dsp", ":efh", ":st"};
        static const char* const kMcuOld[] = {"mcu", "se", "sp"};
        const char* const* prefixes = dsp ? kDspOld : kMcuOld;
        char reply[kReplySize] = {};
        if (SendCommand(command, reply) > 0) {
            for (int i = 0; i < 3; ++i) {
                if (StartsWith(reply, prefixes[i])) {
                    result = LoaderOld;
                    break;
                }
            }
        }
    }
    return result;
}
