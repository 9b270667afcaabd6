#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QTest>

#include "FakePortTree.h"
#include "ModalWatcher.h"
#include "app/Resource.h"
#include "app/Tovrane.h"
#include "app/TovraneDlg.h"

// Enter never ends the program; Esc, "Exit" and the close box do.
TEST(TovraneApp, ShowsTheMainWindowModallyAndEndsWhenItCloses) {
    const std::function<void(QWidget*)> closers[] = {
        [](QWidget* window) { QTest::keyClick(window, Qt::Key_Escape); },
        [](QWidget* window) {
            QTest::mouseClick(qobject_cast<CTovraneDlg*>(window)->Control(IdExit), Qt::LeftButton);
        },
        [](QWidget* window) { window->close(); },
    };
    for (const auto& close : closers) {
        int windows = 0;
        bool openAfterEnter = false;
        ModalWatcher watcher([&](QWidget* window) {
            ++windows;
            ASSERT_NE(qobject_cast<CTovraneDlg*>(window), nullptr);
            QTest::keyClick(window, Qt::Key_Return);
            openAfterEnter = window->isVisible();
            close(window);
        });
        FakePortTree ports;
        ports.AddUart("ttyS0", 4);
        CTovraneApp app(ports.Roots());
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(windows, 1);
        EXPECT_TRUE(openAfterEnter);
    }
}

TEST(TovraneApp, TwoInstancesRunSideBySide) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess first;
    QProcess second;
    for (QProcess* process : {&first, &second}) {
        process->setProcessEnvironment(env);
        process->start(TOVRANE_EXE, {});
        ASSERT_TRUE(process->waitForStarted(5000));
    }
    EXPECT_FALSE(first.waitForFinished(1500));
    EXPECT_FALSE(second.waitForFinished(100));
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(second.state(), QProcess::Running);
    for (QProcess* process : {&first, &second}) {
        process->kill();
        process->waitForFinished(5000);
    }
}
