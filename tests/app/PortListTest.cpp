// The window's port list: entries with their descriptions and reasons, read
// again when the drop-down opens and when a device comes or goes.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QAbstractItemView>

#include "DlgFixture.h"
#include "ModalWatcher.h"
#include "PtyPair.h"
#include "app/PortItemDelegate.h"

namespace {

constexpr int kWithinASecond = 1000;

QString ItemData(QComboBox* list, int row, int role) {
    return list->itemData(row, role).toString();
}

}  // namespace

TEST_F(DlgTest, EntriesShowDescriptionAndReasonBesideThePathAndThePopupFitsThem) {
    NewTree().AddUsb(
        {"ttyUSB0", "0403", "6001", "FTDI", "FT232R USB UART", "A10K1234", "ftdi_sio", "1-1"});
    tree->AddUsb({"ttyUSB1", "1a86", "7523", "", "USB2.0-Serial", "", "ch341-uart", "1-2"});
    const int holder = ::open(tree->Node("ttyUSB0").c_str(), O_RDWR);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    OpenOnTree();

    EXPECT_EQ(PortEntries(), Nodes({"ttyUSB0", "ttyUSB1"}));
    EXPECT_EQ(ItemData(PortList(), 0, CPortItemDelegate::DescriptionRole),
              "FTDI FT232R USB UART, serial A10K1234");
    EXPECT_EQ(ItemData(PortList(), 0, CPortItemDelegate::ReasonRole), "in use by another program");
    EXPECT_EQ(ItemData(PortList(), 1, CPortItemDelegate::DescriptionRole),
              "USB2.0-Serial (ch341-uart)");
    EXPECT_EQ(ItemData(PortList(), 1, CPortItemDelegate::ReasonRole), "");
    // The busy adapter is passed over; the field holds the path alone.
    EXPECT_EQ(PortList()->currentText(), Nodes({"ttyUSB1"})[0]);

    // A lock leaves no trace in /dev: the drop-down reads the list again as it opens.
    ::close(holder);
    PortList()->showPopup();
    EXPECT_EQ(ItemData(PortList(), 0, CPortItemDelegate::ReasonRole), "");
    QAbstractItemView* popup = PortList()->view();
    ASSERT_TRUE(popup->isVisible());
    EXPECT_GT(popup->width(), PortList()->width());
    for (int row = 0; row < PortList()->count(); ++row) {
        const int entry = popup->sizeHintForIndex(popup->model()->index(row, 0)).width();
        EXPECT_GE(popup->viewport()->width(), entry) << row;
    }
    PortList()->hidePopup();
    EXPECT_EQ(PortList()->currentText(), Nodes({"ttyUSB1"})[0]);
}

// The devices are ptys linked into the fake /dev, as udev links a new node.
TEST_F(DlgTest, PluggedPortsComeAndGoWithoutAPressAndLeaveTheFieldAndTheRunAlone) {
    NewTree({"ttyUSB0", "ttyACM0"});
    tree->RemoveNode("ttyUSB0");
    tree->RemoveNode("ttyACM0");
    OpenOnTree();
    ASSERT_EQ(PortList()->count(), 0);

    PtyPair usb;
    PtyPair acm;
    tree->LinkNode("ttyUSB0", usb.SlavePath());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return PortEntries() == Nodes({"ttyUSB0"}); }, kWithinASecond));
    EXPECT_EQ(PortList()->currentText(), Nodes({"ttyUSB0"})[0]);  // the list was empty

    // A version read on a typed port where nothing answers keeps running meanwhile.
    PtyPair silent;
    PortList()->lineEdit()->clear();
    QTest::keyClicks(PortList()->lineEdit(), QString::fromStdString(silent.SlavePath()));
    ModalWatcher watcher([](QWidget*) {});
    dlg->OnReadVersion();
    ASSERT_TRUE(dlg->Engine().Running());

    tree->LinkNode("ttyACM0", acm.SlavePath());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return PortEntries() == Nodes({"ttyUSB0", "ttyACM0"});
        },
        kWithinASecond));
    tree->RemoveNode("ttyUSB0");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return PortEntries() == Nodes({"ttyACM0"}); }, kWithinASecond));
    EXPECT_EQ(PortList()->currentText(), QString::fromStdString(silent.SlavePath()));
    EXPECT_TRUE(dlg->Engine().Running());
    EXPECT_EQ(dlg->Engine().Port(), silent.SlavePath());
    EXPECT_EQ(watcher.Seen(), 0);
}
