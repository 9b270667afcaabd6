#pragma once

#include <string>

// How a serial device is attached. The port list shows the groups in this order.
enum class PortGroup { UsbSerial, UsbAcm, Other };

// Whether a port can be opened now.
enum class PortState { Usable, Busy, NoPermission, Unavailable };

// One serial device as the port list shows it.
struct CPortInfo {
    std::string path;  // the device node: what an operation opens
    PortGroup group = PortGroup::Other;
    std::string description;      // "FTDI FT232R USB UART", "on-board serial port at 0x3F8"
    std::string vidPid;           // "0403:6001"; empty for a device not on USB
    std::string serialNumber;     // the USB serial number, when the adapter has one
    std::string interfaceNumber;  // the USB interface, "00", "01", ...
    std::string byIdLink;         // the /dev/serial/by-id link to the node, when there is one
    std::string byPathLink;       // the /dev/serial/by-path link to the node, when there is one
    // Where the port is plugged in: the USB device's kernel name ("1-2.3", as dmesg
    // says it), or its interface's ("1-2.3:1.1") for a port of a multi-port adapter.
    // The same whichever adapter sits in that socket and whatever ttyUSB number it
    // gets; empty for a port not on USB.
    std::string location;
    PortState state = PortState::Usable;
    std::string stateDetail;  // the system's words when the state is Unavailable
};

// "usable", "busy", "no permission" or "unavailable".
const char* StateName(PortState state);

// Why the port cannot be used now, said so the operator knows what to do; empty
// when it is usable.
std::string UnusableReason(const CPortInfo& port);
