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
    // Queues work for the window's thread without waiting for it (a display
    // update the caller need not see done); dropped once cancelled.
    void Post(std::function<void()> work);
    void Cancel();
    bool Cancelled() const;

  private:
    struct State {
        mutable std::mutex mutex;
        std::condition_variable changed;
        bool cancelled = false;
    };

    static bool IsCancelled(const State& state);
    // Queues work that runs unless cancelled by then, followed by `after` in any case.
    void Queue(std::function<void()> work, std::function<void()> after);

    QObject* m_window;
    // Shared with queued work and waiting callers, so it outlives both.
    std::shared_ptr<State> m_state;
};
