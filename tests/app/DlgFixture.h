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

#include "app/Resource.h"
#include "app/TovraneDlg.h"
#include "link/SharedState.h"

// A main window whose probe finds exactly the given device paths.
class DlgTest : public testing::Test {
  protected:
    void SetUp() override { Shared().Reset(); }

    // `first` heads the port list ahead of the probed ports.
    void Open(std::set<std::string> present = {"/dev/ttyUSB0"},
              std::vector<std::string> first = {}) {
        dlg = std::make_unique<CTovraneDlg>(
            [present](const std::string& path) { return present.count(path) > 0; });
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

    std::unique_ptr<CTovraneDlg> dlg;
    int sounds = 0;  // completion sounds the window played
};
