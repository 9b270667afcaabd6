#include "WorkerRunner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <thread>

bool RunOnWorker(const std::function<void()>& work, std::chrono::milliseconds limit) {
    std::atomic<bool> done{false};
    std::atomic<bool> late{false};
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] { late = true; });
    deadline.start(limit);

    std::thread worker([&] {
        work();
        done = true;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    // Serve events until the worker has ended; its last act queues the quit.
    while (!done) {
        loop.exec();
    }
    worker.join();
    // Deliver what the worker posted last (a final notification, for example).
    QCoreApplication::processEvents();
    return !late;
}
