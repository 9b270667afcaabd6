#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "FakePortTree.h"
#include "SerialLib/PortInfo/PortWatcher.h"

namespace {

// Waits for the next report, then lets the rest of its burst pass.
bool Reported(QSignalSpy& changes) {
    const bool reported = changes.wait(1000);
    QTest::qWait(50);
    changes.clear();
    return reported;
}

}  // namespace

// A node made, given other permissions (as udev does just after) or removed is
// reported; so is a change in serial/by-id or serial/by-path, which udev makes only
// with the first USB adapter, after the watcher started.
TEST(PortWatcher, ReportsNodesPermissionsAndSerialLinksComingAndGoing) {
    FakePortTree tree;
    const PortRoots roots = tree.Roots();
    CPortWatcher watcher(roots.dev);
    QSignalSpy changes(&watcher, &CPortWatcher::PortsChanged);
    EXPECT_FALSE(changes.wait(200));

    tree.AddNode("ttyUSB0");
    EXPECT_TRUE(Reported(changes));
    ASSERT_EQ(::chmod(tree.Node("ttyUSB0").c_str(), 0660), 0);
    EXPECT_TRUE(Reported(changes));
    const std::string link = "usb-FTDI_FT232R_USB_UART_A1-if00-port0";
    tree.AddByIdLink(link, "ttyUSB0");
    EXPECT_TRUE(Reported(changes));
    std::filesystem::remove(roots.dev + "/serial/by-id/" + link);  // /dev itself stays as it is
    EXPECT_TRUE(Reported(changes));
    const std::string place = "pci-0000:00:14.0-usb-0:1:1.0-port0";
    tree.AddByPathLink(place, "ttyUSB0");
    EXPECT_TRUE(Reported(changes));
    std::filesystem::remove(roots.dev + "/serial/by-path/" + place);
    EXPECT_TRUE(Reported(changes));
    tree.RemoveNode("ttyUSB0");
    EXPECT_TRUE(Reported(changes));
}
