#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "DlgFixture.h"
#include "ModalWatcher.h"
#include "app/AboutDlg.h"

namespace {

struct AboutSeen {
    QString caption;
    QStringList texts;
    QString okText;
};

ModalWatcher WatchAbout(AboutSeen& seen, int& aboutBoxes) {
    return ModalWatcher([&](QWidget* window) {
        if (qobject_cast<CAboutDlg*>(window) == nullptr) {
            return;
        }
        ++aboutBoxes;
        seen.caption = window->windowTitle();
        for (QLabel* label : window->findChildren<QLabel*>()) {
            seen.texts << label->text();
        }
        seen.okText = window->findChild<QPushButton*>()->text();
    });
}

}  // namespace

TEST_F(DlgTest, AboutCommandShowsTheAboutBoxWhateverItsLowBits) {
    Open();
    for (unsigned command : {IDM_ABOUTBOX, IDM_ABOUTBOX | 0x3u}) {
        AboutSeen seen;
        int aboutBoxes = 0;
        ModalWatcher watcher = WatchAbout(seen, aboutBoxes);
        dlg->OnSysCommand(command);
        EXPECT_EQ(aboutBoxes, 1);
        EXPECT_EQ(seen.caption, "关于 Tovrane");
        EXPECT_EQ(seen.okText, "确定");
        // The whole project version, as tovrane-cli --version prints it.
        EXPECT_TRUE(seen.texts.contains("Tovrane " TOVRANE_VERSION " 版"))
            << seen.texts.join('|').toStdString();
        EXPECT_TRUE(seen.texts.filter("2026").size() == 1);
    }
}

TEST_F(DlgTest, OtherSystemCommandsShowNothing) {
    Open();
    ModalWatcher watcher([](QWidget*) {});
    dlg->OnSysCommand(0xF120);  // restore
    dlg->OnSysCommand(0x0020);
    QTest::qWait(30);
    EXPECT_EQ(watcher.Seen(), 0);
}

TEST_F(DlgTest, ContextMenuOffersTheAboutEntry) {
    Open();
    AboutSeen seen;
    int aboutBoxes = 0;
    ModalWatcher about = WatchAbout(seen, aboutBoxes);
    QStringList entries;
    ModalWatcher menu(
        [&](QWidget* popup) {
            for (QAction* action : qobject_cast<QMenu*>(popup)->actions()) {
                entries << action->text();
            }
            qobject_cast<QMenu*>(popup)->actions().first()->trigger();
        },
        ModalWatcher::Target::Popup);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 200),
                            dlg->mapToGlobal(QPoint(5, 200)));
    QApplication::sendEvent(dlg.get(), &event);
    EXPECT_EQ(entries, QStringList{"关于 Tovrane(&A)..."});
    EXPECT_EQ(aboutBoxes, 1);
}

TEST(AboutBox, EscapeClosesIt) {
    CAboutDlg about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
}
