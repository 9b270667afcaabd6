#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "FakePortTree.h"
#include "PtyPair.h"
#include "SerialLib/PortInfo/PortEnumerator.h"

namespace {

// Takes from the calling thread (capabilities are per thread) the right to pass by
// file modes, so a node without permission is refused as for an operator outside
// dialout, even when the tests run as root. The thread keeps its user, so it still
// reaches every folder its user owns.
void DropFileModeOverride() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    ASSERT_EQ(::syscall(SYS_capget, &header, data), 0);
    const __u32 overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective &= ~overrides;
    ASSERT_EQ(::syscall(SYS_capset, &header, data), 0);
}

// Adapters of the four common kinds (one of them a dual-port CP2105), on-board
// UARTs real and phantom, a virtual terminal, and an adapter whose node is gone.
class PortEnumeratorTest : public testing::Test {
  protected:
    void SetUp() override {
        tree.AddUsb(
            {"ttyUSB10", "0403", "6001", "FTDI", "FT232R USB UART", "A10K1234", "ftdi_sio", "1-1"});
        tree.AddUsb({"ttyUSB2", "1a86", "7523", "", "USB2.0-Serial", "", "ch341-uart", "1-2"});
        for (int interface : {0, 1}) {
            tree.AddUsb({"ttyUSB" + std::to_string(3 + interface), "10c4", "ea70", "Silicon Labs",
                         "CP2105 Dual USB to UART Bridge Controller", "00A1B2C3", "cp210x", "1-3.2",
                         interface});
        }
        tree.AddUsb({"ttyACM0", "2341", "0043", "Arduino (www.arduino.cc)", "Arduino Uno",
                     "75830333", "cdc_acm", "1-4"});
        tree.AddUsb(
            {"ttyUSB5", "0403", "6015", "FTDI", "FT230X Basic UART", "", "ftdi_sio", "1-5"});
        tree.RemoveNode("ttyUSB5");
        tree.AddUart("ttyS0", 4, "0x3F8");
        tree.AddUart("ttyS1", 0, "0x2F8");
        tree.AddUart("ttyS10", 4, "0x0");
        tree.AddVirtualTerminal("tty1");
        tree.AddByIdLink("usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0", "ttyUSB10");
    }

    const CPortInfo& Port(const std::vector<CPortInfo>& ports, const std::string& tty) const {
        for (const CPortInfo& port : ports) {
            if (port.path == tree.Node(tty)) {
                return port;
            }
        }
        ADD_FAILURE() << tty << " is not listed";
        static const CPortInfo none;
        return none;
    }

    FakePortTree tree;
};

}  // namespace

TEST_F(PortEnumeratorTest, ListsUsbThenAcmThenUartsInNumberOrderWithoutPhantomsOrVirtualTtys) {
    std::vector<std::string> paths;
    for (const CPortInfo& port : CPortEnumerator(tree.Roots()).Ports()) {
        paths.push_back(port.path);
    }
    std::vector<std::string> expected;
    for (const char* tty :
         {"ttyUSB2", "ttyUSB3", "ttyUSB4", "ttyUSB10", "ttyACM0", "ttyS0", "ttyS10"}) {
        expected.push_back(tree.Node(tty));
    }
    EXPECT_EQ(paths, expected);
}

TEST_F(PortEnumeratorTest, DescribesAdaptersFromTheirUsbAttributesAndUartsByAddress) {
    const std::vector<CPortInfo> ports = CPortEnumerator(tree.Roots()).Ports();

    const CPortInfo& ftdi = Port(ports, "ttyUSB10");
    EXPECT_EQ(ftdi.group, PortGroup::UsbSerial);
    EXPECT_EQ(ftdi.description, "FTDI FT232R USB UART");
    EXPECT_EQ(ftdi.vidPid, "0403:6001");
    EXPECT_EQ(ftdi.serialNumber, "A10K1234");
    EXPECT_EQ(ftdi.interfaceNumber, "00");
    EXPECT_EQ(ftdi.byIdLink,
              tree.Roots().dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0");

    // No manufacturer string: the driver names the chip.
    EXPECT_EQ(Port(ports, "ttyUSB2").description, "USB2.0-Serial (ch341-uart)");

    // The two ports of one device are told apart by their interface.
    EXPECT_EQ(Port(ports, "ttyUSB3").description,
              "Silicon Labs CP2105 Dual USB to UART Bridge Controller, interface 0");
    EXPECT_EQ(Port(ports, "ttyUSB4").description,
              "Silicon Labs CP2105 Dual USB to UART Bridge Controller, interface 1");

    const CPortInfo& acm = Port(ports, "ttyACM0");
    EXPECT_EQ(acm.group, PortGroup::UsbAcm);
    EXPECT_EQ(acm.description, "Arduino (www.arduino.cc) Arduino Uno");
    EXPECT_EQ(acm.vidPid, "2341:0043");

    const CPortInfo& uart = Port(ports, "ttyS0");
    EXPECT_EQ(uart.group, PortGroup::Other);
    EXPECT_EQ(uart.description, "on-board serial port at 0x3F8");
    EXPECT_EQ(Port(ports, "ttyS10").description, "on-board serial port");
}

// The location is the socket, not the adapter: a port of a dual adapter has one of
// its own, and an adapter plugged in again where it was keeps it under a new name.
TEST_F(PortEnumeratorTest, LocatesEachPortByItsUsbPathAndFindsItsByPathLink) {
    FakeUsbAdapter adapter{.tty = "ttyUSB7",
                           .vid = "0403",
                           .pid = "6001",
                           .manufacturer = "FTDI",
                           .product = "FT232R USB UART",
                           .serial = "B20K5678",
                           .driver = "ftdi_sio",
                           .usbDevice = "1-6.4.1"};
    tree.AddUsb(adapter);
    const std::string byPath = "pci-0000:00:14.0-usb-0:6.4.1:1.0-port0";
    tree.AddByPathLink(byPath, "ttyUSB7");
    const std::vector<CPortInfo> ports = CPortEnumerator(tree.Roots()).Ports();
    EXPECT_EQ(Port(ports, "ttyUSB7").location, "1-6.4.1");
    EXPECT_EQ(Port(ports, "ttyUSB7").byPathLink, tree.Roots().dev + "/serial/by-path/" + byPath);
    EXPECT_EQ(Port(ports, "ttyUSB10").location, "1-1");
    EXPECT_EQ(Port(ports, "ttyUSB10").byPathLink, "");
    EXPECT_EQ(Port(ports, "ttyUSB3").location, "1-3.2:1.0");
    EXPECT_EQ(Port(ports, "ttyUSB4").location, "1-3.2:1.1");
    EXPECT_EQ(Port(ports, "ttyACM0").location, "1-4");
    EXPECT_EQ(Port(ports, "ttyS0").location, "");
    // The first port of a dual adapter, listed before its second one appeared.
    const FakeUsbAdapter dual{"ttyUSB9", "0403",     "6010", "FTDI", "Dual RS232",
                              "",        "ftdi_sio", "1-7",  0,      2};
    tree.AddUsb(dual);
    EXPECT_EQ(Port(CPortEnumerator(tree.Roots()).Ports(), "ttyUSB9").location, "1-7:1.0");
    tree.Unplug(dual);

    tree.Unplug(adapter);
    adapter.tty = "ttyUSB8";
    tree.AddUsb(adapter);
    const std::vector<CPortInfo> again = CPortEnumerator(tree.Roots()).Ports();
    EXPECT_EQ(Port(again, "ttyUSB8").location, "1-6.4.1");
    EXPECT_EQ(again.size(), ports.size()) << "ttyUSB7 went with its adapter";
}

// Root opens any node whatever its mode, so the listing runs on a thread without
// that right: the kernel itself then refuses the node whose mode was taken away.
TEST_F(PortEnumeratorTest, TellsUsableBusyForbiddenAndBrokenPortsApart) {
    PtyPair pty;
    tree.RemoveNode("ttyACM0");
    tree.LinkNode("ttyACM0", pty.SlavePath());
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
    ASSERT_EQ(::chmod(tree.Node("ttyUSB3").c_str(), 0), 0);
    tree.RemoveNode("ttyS10");
    std::filesystem::create_directory(tree.Node("ttyS10"));
    const int holder = ::open(tree.Node("ttyUSB2").c_str(), O_RDWR);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

    std::vector<CPortInfo> ports;
    std::thread([&] {
        DropFileModeOverride();
        ports = CPortEnumerator(tree.Roots()).Ports();
    }).join();
    EXPECT_EQ(Port(ports, "ttyUSB10").state, PortState::Usable);
    EXPECT_EQ(Port(ports, "ttyACM0").state, PortState::Usable);  // a real tty behind the node
    EXPECT_EQ(Port(ports, "ttyUSB2").state, PortState::Busy);
    EXPECT_EQ(UnusableReason(Port(ports, "ttyUSB2")), "in use by another program");
    EXPECT_EQ(Port(ports, "ttyUSB3").state, PortState::NoPermission);
    EXPECT_EQ(UnusableReason(Port(ports, "ttyUSB3")), "no permission: add your user to dialout");
    EXPECT_EQ(Port(ports, "ttyS10").state, PortState::Unavailable);
    EXPECT_EQ(UnusableReason(Port(ports, "ttyS10")), "cannot be opened: Is a directory");

    // The listing let go of every port it opened; the held one is free once let go.
    ::close(holder);
    const std::vector<CPortInfo> again = CPortEnumerator(tree.Roots()).Ports();
    EXPECT_EQ(Port(again, "ttyACM0").state, PortState::Usable);
    EXPECT_EQ(Port(again, "ttyUSB2").state, PortState::Usable);
}
