#include <QMessageBox>
#include <QProgressBar>
#include <chrono>
#include <future>
#include <thread>

#include "DlgFixture.h"
#include "ModalWatcher.h"

namespace {

using namespace std::chrono_literals;

// Runs `work` on a worker thread; the future is ready when it has returned.
std::future<void> OnWorker(std::function<void()> work) {
    std::packaged_task<void()> task(std::move(work));
    std::future<void> done = task.get_future();
    std::thread(std::move(task)).detach();
    return done;
}

// Serves the window's events until the worker is done or the time is up.
bool ServeUntilDone(std::future<void>& done) {
    return QTest::qWaitFor([&] { return done.wait_for(0ms) == std::future_status::ready; }, 5000);
}

}  // namespace

TEST_F(DlgTest, WorkerRequestsAreCarriedOutOnTheWindowThreadInOrder) {
    Open();
    auto done = OnWorker([this] {
        dlg->LogLine("A");
        dlg->LogLine("B");
        dlg->EnableControl(IdUpdateDsp, false);
        dlg->EnableControl(IdUpdateMcu, false);
        dlg->EnableControl(IdUpdateMcu, true);
        dlg->SetProgressRange(0, 70000);
        dlg->SetProgressPos(65000);
        dlg->LogLine("C");
    });
    ASSERT_TRUE(ServeUntilDone(done));
    EXPECT_EQ(LogLines(), (std::vector<QString>{"C", "B", "A"}));
    EXPECT_FALSE(dlg->Control(IdUpdateDsp)->isEnabled());
    EXPECT_TRUE(dlg->Control(IdUpdateMcu)->isEnabled());
    auto* bar = qobject_cast<QProgressBar*>(dlg->Control(IdProgressBar));
    EXPECT_EQ(bar->maximum(), 70000);
    EXPECT_EQ(bar->value(), 65000);
}

TEST_F(DlgTest, AProgressPositionDoesNotHoldTheWorkerAndIsDroppedOnceClosing) {
    Open();
    auto* bar = qobject_cast<QProgressBar*>(dlg->Control(IdProgressBar));
    auto done = OnWorker([this] {
        dlg->SetProgressRange(0, 100);
        dlg->SetProgressPos(40);
    });
    ASSERT_TRUE(ServeUntilDone(done));
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == 40; }, 2000));
    done = OnWorker([this] { dlg->SetProgressPos(60); });
    EXPECT_EQ(done.wait_for(2s), std::future_status::ready) << "no events were served meanwhile";
    EXPECT_EQ(bar->value(), 40);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == 60; }, 2000));

    done = OnWorker([this] { dlg->SetProgressPos(80); });
    ASSERT_EQ(done.wait_for(2s), std::future_status::ready);
    dlg->reject();
    QTest::qWait(50);
    EXPECT_EQ(bar->value(), 60);
}

TEST_F(DlgTest, WorkerMessageBoxWaitsForTheOperator) {
    Open();
    QString text, caption, detail;
    ModalWatcher watcher([&](QWidget* window) {
        auto* box = qobject_cast<QMessageBox*>(window);
        text = box->text();
        caption = box->windowTitle();
        detail = box->informativeText();
    });
    auto done = OnWorker([this] {
        dlg->ShowMessage({"V1.23 2020", "Version", "check the cable"});
    });
    ASSERT_TRUE(ServeUntilDone(done));
    EXPECT_EQ(watcher.Seen(), 1);
    EXPECT_EQ(text, "V1.23 2020");
    EXPECT_EQ(caption, "Version");
    EXPECT_EQ(detail, "check the cable");
}

// The window thread may stop serving requests while it waits for a worker to
// end; a worker blocked in a request must then get out.
TEST_F(DlgTest, ClosingReleasesAWorkerBlockedInARequest) {
    Open();
    std::promise<void> started;
    auto done = OnWorker([&] {
        started.set_value();
        dlg->LogLine("never shown");
        dlg->LogLine("dropped");
    });
    started.get_future().wait();
    std::this_thread::sleep_for(50ms);  // no events served: the worker waits
    dlg->reject();
    EXPECT_EQ(done.wait_for(5s), std::future_status::ready);
    QTest::qWait(20);
    EXPECT_EQ(LogList()->count(), 0);
}

TEST_F(DlgTest, ClosingReleasesAWorkerWaitingOnAnOpenMessageBox) {
    Open();
    std::future<void> done;
    bool releasedWhileOpen = false;
    ModalWatcher watcher([&](QWidget*) {
        dlg->reject();
        releasedWhileOpen = done.wait_for(5s) == std::future_status::ready;
    });
    done = OnWorker([this] { dlg->ShowMessage({"Read version fail", "Version", {}}); });
    ASSERT_TRUE(ServeUntilDone(done));
    EXPECT_EQ(watcher.Seen(), 1);
    EXPECT_TRUE(releasedWhileOpen);
}
