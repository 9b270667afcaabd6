#pragma once

#include <string>

#include "SerialLib/PortInfo/PortEnumerator.h"
#include "TempDir.h"

// A USB adapter as the kernel shows it in sysfs.
struct FakeUsbAdapter {
    std::string tty;  // ttyUSB<n> (a usb-serial port below the interface) or ttyACM<n>
    std::string vid;
    std::string pid;
    std::string manufacturer;  // empty: the adapter names none
    std::string product;
    std::string serial;
    std::string driver;  // ftdi_sio, ch341-uart, cp210x, cdc_acm
    // The USB device's kernel name ("1-2", "1-2.3" behind a hub); adapters sharing it
    // are one device.
    std::string usbDevice = "1-1";
    int interfaceNumber = 0;
    int interfaces = 1;  // the device's interface count (at least this port's number + 1)
};

// A fake /sys and /dev for the port enumerator, in a directory of its own.
// Device nodes are plain files unless linked to a real device.
class FakePortTree {
  public:
    FakePortTree();

    PortRoots Roots() const;
    std::string Node(const std::string& tty) const;

    void AddUsb(const FakeUsbAdapter& adapter);
    // The adapter's USB device and node go, as when it is pulled out.
    void Unplug(const FakeUsbAdapter& adapter) const;
    // An 8250-style UART with the serial core's type (0: unknown, no hardware).
    void AddUart(const std::string& tty, int type, const std::string& ioPort = "0x3F8");
    // A virtual terminal: a tty without a device.
    void AddVirtualTerminal(const std::string& tty);

    void AddNode(const std::string& tty) const;
    void LinkNode(const std::string& tty, const std::string& target) const;
    void RemoveNode(const std::string& tty) const;
    void AddByIdLink(const std::string& name, const std::string& tty) const;
    void AddByPathLink(const std::string& name, const std::string& tty) const;

  private:
    std::filesystem::path Sys() const { return m_dir.Path() / "sys"; }
    std::filesystem::path Dev() const { return m_dir.Path() / "dev"; }
    // Where sysfs has the USB device: behind a hub, below the hub's own folder.
    std::filesystem::path UsbDevicePath(const std::string& name) const;
    void AddSerialLink(const char* folder, const std::string& name, const std::string& tty) const;
    // Makes the class device of `tty` below `deviceDir` and links it from class/tty.
    void AddClassDevice(const std::string& tty, const std::filesystem::path& deviceDir) const;
    void SetDriver(const std::filesystem::path& deviceDir, const std::string& bus,
                   const std::string& driver) const;

    TempDir m_dir;
};
