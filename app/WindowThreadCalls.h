#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Runs work on a window's thread on behalf of any thread and waits until it is
// done. Once cancelled (the window is closing) every waiting caller returns at
// once, work not yet started is dropped and later calls do nothing, so a worker
// can never block on a window that no longer serves its requests.
class WindowThreadCalls {
  public:
    explicit WindowThreadCalls(QObject* window);

    void Run(std::function<void()> work);
    void Cancel();
    bool Cancelled() const;

  private:
    struct State {
        mutable std::mutex mutex;
        std::condition_variable changed;
        bool cancelled = false;
    };

    static bool IsCancelled(const State& state);

    QObject* m_window;
    // Shared with queued work and waiting callers, so it outlives both.
    std::shared_ptr<State> m_state;
};
