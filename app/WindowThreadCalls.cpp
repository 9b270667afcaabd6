#include "app/WindowThreadCalls.h"

#include <QMetaObject>
#include <QThread>

WindowThreadCalls::WindowThreadCalls(QObject* window)
    : m_window(window), m_state(std::make_shared<State>()) {}

bool WindowThreadCalls::IsCancelled(const State& state) {
    std::lock_guard lock(state.mutex);
    return state.cancelled;
}

bool WindowThreadCalls::Cancelled() const {
    return IsCancelled(*m_state);
}

void WindowThreadCalls::Cancel() {
    std::lock_guard lock(m_state->mutex);
    m_state->cancelled = true;
    m_state->changed.notify_all();
}

void WindowThreadCalls::Queue(std::function<void()> work, std::function<void()> after) {
    // Queued work runs only while the window exists; Qt discards it with the window.
    QMetaObject::invokeMethod(
        m_window,
        [state = m_state, work = std::move(work), after = std::move(after)] {
            if (!IsCancelled(*state)) {
                work();
            }
            after();
        },
        Qt::QueuedConnection);
}

void WindowThreadCalls::Run(std::function<void()> work) {
    const std::shared_ptr<State> state = m_state;
    if (QThread::currentThread() == m_window->thread()) {
        if (!IsCancelled(*state)) {
            work();
        }
        return;
    }
    if (IsCancelled(*state)) {
        return;
    }
    auto done = std::make_shared<bool>(false);  // guarded by state->mutex
    Queue(std::move(work), [state, done] {
        std::lock_guard lock(state->mutex);
        *done = true;
        state->changed.notify_all();
    });
    std::unique_lock lock(state->mutex);
    state->changed.wait(lock, [&] { return *done || state->cancelled; });
}

void WindowThreadCalls::Post(std::function<void()> work) {
    if (!IsCancelled(*m_state)) {
        Queue(std::move(work), [] {});
    }
}
