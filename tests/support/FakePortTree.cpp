#include "FakePortTree.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void WriteAttribute(const fs::path& dir, const std::string& name, const std::string& value) {
    if (!value.empty()) {
        std::ofstream(dir / name) << value << "\n";
    }
}

std::string Hex2(int number) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x", number);
    return text;
}

}  // namespace

// Open to every user, as the real trees are, so a test may read it as another user.
FakePortTree::FakePortTree() {
    fs::permissions(m_dir.Path(), fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
    fs::create_directories(Sys() / "class" / "tty");
    fs::create_directories(Dev());
}

PortRoots FakePortTree::Roots() const {
    return {Sys().string(), Dev().string()};
}

std::string FakePortTree::Node(const std::string& tty) const {
    return (Dev() / tty).string();
}

void FakePortTree::AddClassDevice(const std::string& tty, const fs::path& deviceDir) const {
    const fs::path classDevice = deviceDir / "tty" / tty;
    fs::create_directories(classDevice);
    fs::create_directory_symlink(deviceDir, classDevice / "device");
    fs::create_directory_symlink(classDevice, Sys() / "class" / "tty" / tty);
}

void FakePortTree::SetDriver(const fs::path& deviceDir, const std::string& bus,
                             const std::string& driver) const {
    const fs::path driverDir = Sys() / "bus" / bus / "drivers" / driver;
    fs::create_directories(driverDir);
    fs::create_directory_symlink(driverDir, deviceDir / "driver");
}

fs::path FakePortTree::UsbDevicePath(const std::string& name) const {
    fs::path dir = Sys() / "devices/pci0000:00/0000:00:14.0/usb1";
    for (size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', dot + 1)) {
        dir /= name.substr(0, dot);
    }
    return dir / name;
}

void FakePortTree::AddUsb(const FakeUsbAdapter& adapter) {
    const fs::path usbDevice = UsbDevicePath(adapter.usbDevice);
    fs::create_directories(usbDevice);
    // Hubs have a VID:PID too; the adapter is the device nearest to its port.
    for (fs::path hub = usbDevice.parent_path(); hub.filename() != "usb1";
         hub = hub.parent_path()) {
        WriteAttribute(hub, "idVendor", "05e3");
        WriteAttribute(hub, "idProduct", "0608");
    }
    WriteAttribute(usbDevice, "idVendor", adapter.vid);
    WriteAttribute(usbDevice, "idProduct", adapter.pid);
    WriteAttribute(usbDevice, "manufacturer", adapter.manufacturer);
    WriteAttribute(usbDevice, "product", adapter.product);
    WriteAttribute(usbDevice, "serial", adapter.serial);
    // As the kernel writes it: "%2d".
    char interfaces[16];
    std::snprintf(interfaces, sizeof interfaces, "%2d",
                  std::max(adapter.interfaces, adapter.interfaceNumber + 1));
    WriteAttribute(usbDevice, "bNumInterfaces", interfaces);
    const fs::path interface =
        usbDevice / (adapter.usbDevice + ":1." + std::to_string(adapter.interfaceNumber));
    fs::create_directories(interface);
    WriteAttribute(interface, "bInterfaceNumber", Hex2(adapter.interfaceNumber));
    if (adapter.tty.rfind("ttyACM", 0) == 0) {
        SetDriver(interface, "usb", adapter.driver);
        AddClassDevice(adapter.tty, interface);
    } else {
        const fs::path port = interface / adapter.tty;
        fs::create_directories(port);
        SetDriver(port, "usb-serial", adapter.driver);
        AddClassDevice(adapter.tty, port);
    }
    AddNode(adapter.tty);
}

void FakePortTree::Unplug(const FakeUsbAdapter& adapter) const {
    fs::remove_all(UsbDevicePath(adapter.usbDevice));
    RemoveNode(adapter.tty);
}

void FakePortTree::AddUart(const std::string& tty, int type, const std::string& ioPort) {
    const fs::path port = Sys() / "devices/platform/serial8250/serial8250:0" / (tty + ".0");
    fs::create_directories(port);
    SetDriver(port, "serial-base", "port");
    AddClassDevice(tty, port);
    const fs::path classDevice = port / "tty" / tty;
    WriteAttribute(classDevice, "type", std::to_string(type));
    WriteAttribute(classDevice, "port", ioPort);
    AddNode(tty);
}

void FakePortTree::AddVirtualTerminal(const std::string& tty) {
    const fs::path classDevice = Sys() / "devices/virtual/tty" / tty;
    fs::create_directories(classDevice);
    fs::create_directory_symlink(classDevice, Sys() / "class" / "tty" / tty);
    AddNode(tty);
}

void FakePortTree::AddNode(const std::string& tty) const {
    std::ofstream(Node(tty)).flush();
    fs::permissions(Node(tty), fs::perms::owner_read | fs::perms::owner_write |
                                   fs::perms::group_read | fs::perms::group_write |
                                   fs::perms::others_read | fs::perms::others_write);
}

void FakePortTree::LinkNode(const std::string& tty, const std::string& target) const {
    fs::create_symlink(target, Node(tty));
}

void FakePortTree::RemoveNode(const std::string& tty) const {
    fs::remove(Node(tty));
}

void FakePortTree::AddSerialLink(const char* folder, const std::string& name,
                                 const std::string& tty) const {
    const fs::path links = Dev() / "serial" / folder;
    fs::create_directories(links);
    fs::create_symlink(fs::path("../..") / tty, links / name);
}

void FakePortTree::AddByIdLink(const std::string& name, const std::string& tty) const {
    AddSerialLink("by-id", name, tty);
}

void FakePortTree::AddByPathLink(const std::string& name, const std::string& tty) const {
    AddSerialLink("by-path", name, tty);
}
