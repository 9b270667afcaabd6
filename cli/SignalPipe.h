#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

// SIGINT, SIGTERM and SIGHUP reach the event loop: the handler only writes the signal's
// number into a pipe, which is read on the loop, where acting on it is safe. One
// object at a time; the handlers that were there before come back when it goes.
class CSignalPipe : public QObject {
    Q_OBJECT

  public:
    explicit CSignalPipe(QObject* parent = nullptr);
    ~CSignalPipe() override;

    // False when the pipe or the handlers could not be set up (errno says why).
    bool Watching() const { return m_notifier != nullptr; }
    // The first signal caught while a pipe watched, 0 while none was: for work that runs
    // outside the event loop and looks now and then whether it should stop.
    static int Caught();

  signals:
    void Received(int signal);

  private:
    void OnReadable();

    int m_read = -1;
    int m_write = -1;
    bool m_handlersSet = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
