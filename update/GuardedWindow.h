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

    void Log(const std::string& text) {
        if (!Stopped()) {
            m_window.LogLine(text);
        }
    }
    void EnableControl(int id, bool enable) {
        if (!Stopped()) {
            m_window.EnableControl(id, enable);
        }
    }
    void ShowMessage(const MessageBoxText& message) {
        if (!Stopped()) {
            m_window.ShowMessage(message);
        }
    }
    void SetProgressRange(int lower, int upper) {
        if (!Stopped()) {
            m_window.SetProgressRange(lower, upper);
        }
    }
    void SetProgressPos(int pos) {
        if (!Stopped()) {
            m_window.SetProgressPos(pos);
        }
    }
    void StartTimer(int id, uint32_t periodMs) {
        if (!Stopped()) {
            m_window.StartTimer(id, periodMs);
        }
    }
    void StopTimer(int id) {
        if (!Stopped()) {
            m_window.StopTimer(id);
        }
    }

  private:
    MainWindow& m_window;
    std::function<bool()> m_stopRequested;
};
