#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "link/MainWindow.h"

// The window as the update engine reaches it. Once a stop has been requested
// (the window is closing) nothing more is passed on: no log line, no progress, no
// timer, so a worker that is winding down never touches a window that is going away.
class GuardedWindow {
  public:
    GuardedWindow(MainWindow& window, std::function<bool()> stopRequested)
        : m_window(window), m_stopRequested(std::move(stopRequested)) {}

    bool Stopped() const { return m_stopRequested(); }

    void Log(const std::string& text) { Pass(&MainWindow::LogLine, text); }
    void EnableControl(int id, bool enable) { Pass(&MainWindow::EnableControl, id, enable); }
    void ShowMessage(const MessageBoxText& message) { Pass(&MainWindow::ShowMessage, message); }
    void SetProgressRange(int lower, int upper) {
        Pass(&MainWindow::SetProgressRange, lower, upper);
    }
    void SetProgressPos(int pos) { Pass(&MainWindow::SetProgressPos, pos); }
    void StartTimer(int id, uint32_t periodMs) { Pass(&MainWindow::StartTimer, id, periodMs); }
    void StopTimer(int id) { Pass(&MainWindow::StopTimer, id); }

  private:
    template <typename Service, typename... Args>
    void Pass(Service service, const Args&... args) {
        if (!Stopped()) {
            (m_window.*service)(args...);
        }
    }

    MainWindow& m_window;
    std::function<bool()> m_stopRequested;
};
