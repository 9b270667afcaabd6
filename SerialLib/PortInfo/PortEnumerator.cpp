#include "SerialLib/PortInfo/PortEnumerator.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <tuple>

#include "SerialLib/PortInfo/PortStateProbe.h"

namespace fs = std::filesystem;

namespace {

// A port found in sysfs, with what sorting and naming its interfaces need.
struct FoundPort {
    CPortInfo info;
    std::string kernelName;  // ttyUSB0
    fs::path usbDevice;      // the USB device it belongs to; empty when not on USB
};

// The first line of a sysfs attribute without its line end; empty when absent.
std::string ReadAttribute(const fs::path& dir, const char* name) {
    std::ifstream in(dir / name);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

bool Exists(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

// The serial core gives each UART a type; 0 (unknown) marks the ports the 8250
// driver registers whether or not any hardware is there.
bool IsPhantomUart(const fs::path& ttyDir) {
    return ReadAttribute(ttyDir, "type") == "0";
}

bool HasSerialCoreType(const fs::path& ttyDir) {
    return Exists(ttyDir / "type");
}

PortGroup GroupOf(const std::string& kernelName) {
    if (kernelName.rfind("ttyUSB", 0) == 0) {
        return PortGroup::UsbSerial;
    }
    if (kernelName.rfind("ttyACM", 0) == 0) {
        return PortGroup::UsbAcm;
    }
    return PortGroup::Other;
}

std::string DriverName(const fs::path& deviceDir) {
    std::error_code ignored;
    return fs::read_symlink(deviceDir / "driver", ignored).filename().string();
}

struct UsbPlace {
    fs::path interface;
    fs::path device;
};

// The USB interface and device above a tty's device directory: for ttyUSB the
// usb-serial port lies below the interface, for ttyACM the interface is the
// device itself. Empty paths for a device that is not on USB.
UsbPlace FindUsbPlace(const fs::path& deviceDir, const fs::path& sysRoot) {
    UsbPlace place;
    for (fs::path dir = deviceDir; dir != sysRoot && dir != dir.parent_path();
         dir = dir.parent_path()) {
        if (place.interface.empty() && Exists(dir / "bInterfaceNumber")) {
            place.interface = dir;
        }
        if (Exists(dir / "idVendor") && Exists(dir / "idProduct")) {
            place.device = dir;
            break;
        }
    }
    return place;
}

std::string WithDriver(const std::string& text, const std::string& driver) {
    return driver.empty() ? text : text + " (" + driver + ")";
}

// Manufacturer and product as the adapter names itself. Without a manufacturer
// (many CH340 adapters) the driver says which chip it is.
std::string UsbDescription(const fs::path& usbDevice, const std::string& driver) {
    std::string manufacturer = ReadAttribute(usbDevice, "manufacturer");
    std::string product = ReadAttribute(usbDevice, "product");
    if (manufacturer.empty()) {
        return WithDriver(product.empty() ? "USB serial adapter" : product, driver);
    }
    if (product.empty()) {
        return manufacturer;
    }
    return product.rfind(manufacturer, 0) == 0 ? product : manufacturer + " " + product;
}

// A UART of the serial core, named by its address; another tty by its driver.
std::string NonUsbDescription(const fs::path& ttyDir, const std::string& driver) {
    if (!HasSerialCoreType(ttyDir)) {
        return WithDriver("serial device", driver);
    }
    for (const char* address : {"port", "iomem_base"}) {
        const std::string value = ReadAttribute(ttyDir, address);
        if (!value.empty() && std::strtoul(value.c_str(), nullptr, 16) != 0) {
            return "on-board serial port at " + value;
        }
    }
    return "on-board serial port";
}

// The USB port the adapter is plugged into (its device's kernel name, "1-2.3"), and
// for a device of several interfaces the interface ("1-2.3:1.1"), so each port of
// a dual or quad adapter is a place of its own. The interface count is known from
// the start, so the location does not change while the ports appear one by one.
std::string Location(const UsbPlace& usb) {
    const long interfaces =
        std::strtol(ReadAttribute(usb.device, "bNumInterfaces").c_str(), nullptr, 10);
    const fs::path& place = interfaces > 1 && !usb.interface.empty() ? usb.interface : usb.device;
    return place.filename().string();
}

void DescribeUsb(const UsbPlace& usb, const std::string& driver, FoundPort& port) {
    port.usbDevice = usb.device;
    port.info.location = Location(usb);
    port.info.description = UsbDescription(usb.device, driver);
    port.info.vidPid =
        ReadAttribute(usb.device, "idVendor") + ":" + ReadAttribute(usb.device, "idProduct");
    port.info.serialNumber = ReadAttribute(usb.device, "serial");
    if (!usb.interface.empty()) {
        port.info.interfaceNumber = ReadAttribute(usb.interface, "bInterfaceNumber");
    }
}

std::string CanonicalName(const fs::path& path) {
    std::error_code ec;
    const fs::path canonical = fs::canonical(path, ec);
    return ec ? std::string() : canonical.string();
}

using LinkMap = std::map<std::string, std::string>;

// The links of one folder below the dev root's serial/, keyed by the node each one
// names.
LinkMap SerialLinks(const fs::path& devRoot, const char* folder) {
    LinkMap links;
    std::error_code ec;
    for (const fs::directory_entry& link :
         fs::directory_iterator(devRoot / "serial" / folder, ec)) {
        const std::string target = CanonicalName(link.path());
        if (!target.empty()) {
            links.emplace(target, link.path().string());
        }
    }
    return links;
}

struct NodeLinks {
    LinkMap byId;
    LinkMap byPath;
};

std::string LinkTo(const LinkMap& links, const std::string& node) {
    const auto link = links.find(node);
    return link == links.end() ? std::string() : link->second;
}

// sysfs writes a '/' of a device name as '!'.
fs::path NodePath(const std::string& devRoot, const std::string& kernelName) {
    std::string name = kernelName;
    std::replace(name.begin(), name.end(), '!', '/');
    return fs::path(devRoot) / name;
}

// Several ports of one USB device (a dual or quad adapter) are told apart by
// their interface in the description.
void NameSharedInterfaces(std::vector<FoundPort>& ports) {
    std::map<fs::path, int> portsPerDevice;
    for (const FoundPort& port : ports) {
        if (!port.usbDevice.empty()) {
            ++portsPerDevice[port.usbDevice];
        }
    }
    for (FoundPort& port : ports) {
        if (!port.usbDevice.empty() && portsPerDevice[port.usbDevice] > 1 &&
            !port.info.interfaceNumber.empty()) {
            const long number = std::strtol(port.info.interfaceNumber.c_str(), nullptr, 16);
            port.info.description += ", interface " + std::to_string(number);
        }
    }
}

// The port behind one entry of /sys/class/tty, or nothing for a tty that is not a
// serial device here: virtual terminals and ptys have no device, phantom UARTs no
// hardware, and a device without a node cannot be opened.
std::optional<FoundPort> FindPort(const fs::path& ttyDir, const std::string& devRoot,
                                  const fs::path& sysRoot, const NodeLinks& links,
                                  const std::set<std::string>& held) {
    const std::string device = CanonicalName(ttyDir / "device");
    const fs::path node = NodePath(devRoot, ttyDir.filename().string());
    if (device.empty() || IsPhantomUart(ttyDir) || !Exists(node)) {
        return std::nullopt;
    }
    FoundPort port;
    port.kernelName = ttyDir.filename().string();
    port.info.path = node.string();
    port.info.group = GroupOf(port.kernelName);
    const std::string driver = DriverName(device);
    const UsbPlace usb = FindUsbPlace(device, sysRoot);
    if (usb.device.empty()) {
        port.info.description = NonUsbDescription(ttyDir, driver);
    } else {
        DescribeUsb(usb, driver, port);
    }
    const std::string target = CanonicalName(node);
    port.info.byIdLink = LinkTo(links.byId, target);
    port.info.byPathLink = LinkTo(links.byPath, target);
    if (held.count(port.info.path) > 0) {
        port.info.state = PortState::Busy;
    } else {
        const PortAvailability availability = ProbePortState(port.info.path);
        port.info.state = availability.state;
        port.info.stateDetail = availability.detail;
    }
    return port;
}

// ttyUSB2 before ttyUSB10: the name's stem, then its trailing number.
auto NaturalKey(const FoundPort& port) {
    const std::string& name = port.kernelName;
    const size_t digits = name.find_last_not_of("0123456789") + 1;
    const std::string stem = name.substr(0, digits);
    const unsigned long number =
        digits < name.size() ? std::strtoul(name.c_str() + digits, nullptr, 10) : 0;
    return std::make_tuple(port.info.group, stem, number, name);
}

}  // namespace

CPortEnumerator::CPortEnumerator(PortRoots roots) : m_roots(std::move(roots)) {}

std::vector<CPortInfo> CPortEnumerator::Ports(const std::set<std::string>& held) const {
    const fs::path sysRoot = CanonicalName(m_roots.sys);
    const NodeLinks links{SerialLinks(m_roots.dev, "by-id"), SerialLinks(m_roots.dev, "by-path")};
    std::vector<FoundPort> found;
    std::error_code ec;
    for (const fs::directory_entry& tty :
         fs::directory_iterator(fs::path(m_roots.sys) / "class" / "tty", ec)) {
        if (std::optional<FoundPort> port =
                FindPort(tty.path(), m_roots.dev, sysRoot, links, held)) {
            found.push_back(std::move(*port));
        }
    }
    NameSharedInterfaces(found);
    std::sort(found.begin(), found.end(),
              [](const FoundPort& a, const FoundPort& b) { return NaturalKey(a) < NaturalKey(b); });
    std::vector<CPortInfo> ports;
    ports.reserve(found.size());
    for (FoundPort& port : found) {
        ports.push_back(std::move(port.info));
    }
    return ports;
}
