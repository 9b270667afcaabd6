#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FakePortTree.h"
#include "app/Resource.h"
#include "app/TovraneDlg.h"
#include "link/SharedState.h"

// A main window whose port list shows the serial devices of a fake tree.
class DlgTest : public testing::Test {
  protected:
    void SetUp() override { Shared().Reset(); }

    // A fresh tree with these ttys (ttyUSB, ttyACM: USB adapters; others: UARTs).
    FakePortTree& NewTree(const std::vector<std::string>& ttys = {}) {
        dlg.reset();
        tree = std::make_unique<FakePortTree>();
        for (const std::string& tty : ttys) {
            if (tty.rfind("ttyUSB", 0) == 0 || tty.rfind("ttyACM", 0) == 0) {
                tree->AddUsb(
                    {tty, "0403", "6001", "FTDI", "FT232R USB UART", "", "ftdi_sio", "1-" + tty});
            } else {
                tree->AddUart(tty, 4);
            }
        }
        return *tree;
    }

    // The window on a fresh tree with `ttys`; `first` heads the port list.
    void Open(const std::vector<std::string>& ttys = {"ttyUSB0"},
              std::vector<std::string> first = {}) {
        NewTree(ttys);
        OpenOnTree(std::move(first));
    }

    // The window on the tree as it is.
    void OpenOnTree(std::vector<std::string> first = {}) {
        dlg = std::make_unique<CTovraneDlg>(tree->Roots());
        for (std::string& path : first) {
            dlg->ListPortFirst(std::move(path));
        }
        dlg->SetCompletionSound([this] { ++sounds; });
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }

    // Serves the window's events until the worker has ended.
    bool WaitForRunEnd(int timeoutMs = 10000) {
        return QTest::qWaitFor([this] { return !dlg->Engine().Running(); }, timeoutMs);
    }

    // One tick of the window timer `id`: started, and stopped once its tick has shown
    // the bound values (the total blocks field among them) again.
    void TickOnce(int id) {
        auto* total = qobject_cast<QLineEdit*>(dlg->Control(IdTotalBlocks));
        total->setText("until the tick");
        dlg->StartTimer(id, 100);
        EXPECT_TRUE(QTest::qWaitFor([&] { return total->text() != "until the tick"; }, 2000));
        dlg->StopTimer(id);
    }

    QString Text(int id) const {
        QWidget* control = dlg->Control(id);
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            return edit->text();
        }
        return qobject_cast<QLabel*>(control)->text();
    }

    QComboBox* PortList() const { return qobject_cast<QComboBox*>(dlg->Control(IdPortList)); }
    QListWidget* LogList() const { return qobject_cast<QListWidget*>(dlg->Control(IdLogList)); }

    std::vector<QString> LogLines() const {
        std::vector<QString> lines;
        for (int i = 0; i < LogList()->count(); ++i) {
            lines.push_back(LogList()->item(i)->text());
        }
        return lines;
    }

    std::vector<QString> PortEntries() const {
        std::vector<QString> entries;
        for (int i = 0; i < PortList()->count(); ++i) {
            entries.push_back(PortList()->itemText(i));
        }
        return entries;
    }

    // The tree's device paths of `ttys`.
    std::vector<QString> Nodes(const std::vector<std::string>& ttys) const {
        std::vector<QString> nodes;
        for (const std::string& tty : ttys) {
            nodes.push_back(QString::fromStdString(tree->Node(tty)));
        }
        return nodes;
    }

    std::unique_ptr<FakePortTree> tree;
    std::unique_ptr<CTovraneDlg> dlg;
    int sounds = 0;  // completion sounds the window played
};
