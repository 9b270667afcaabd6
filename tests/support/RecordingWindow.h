#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "link/MainWindow.h"

// A MainWindow for tests: remembers everything asked of it, from any thread.
class RecordingWindow : public MainWindow {
  public:
    void LogLine(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_log.push_back(text);
    }
    void EnableControl(int id, bool enable) override {
        std::lock_guard lock(m_mutex);
        m_enabled[id] = enable;
        m_enableCalls.emplace_back(id, enable);
    }
    void ShowMessage(const MessageBoxText& message) override {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(message);
    }
    void SetProgressRange(int lower, int upper) override {
        std::lock_guard lock(m_mutex);
        m_progressRange = {lower, upper};
    }
    void SetProgressPos(int pos) override {
        std::lock_guard lock(m_mutex);
        m_progressPos = pos;
    }
    void StartTimer(int id, uint32_t periodMs) override {
        std::lock_guard lock(m_mutex);
        m_timers[id] = periodMs;
    }
    void StopTimer(int id) override {
        std::lock_guard lock(m_mutex);
        m_timers.erase(id);
    }

    // Log lines oldest first (the window shows them newest first).
    std::vector<std::string> Log() const {
        std::lock_guard lock(m_mutex);
        return m_log;
    }
    std::vector<MessageBoxText> Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::vector<std::pair<int, bool>> EnableCalls() const {
        std::lock_guard lock(m_mutex);
        return m_enableCalls;
    }
    bool IsEnabled(int id) const {
        std::lock_guard lock(m_mutex);
        auto it = m_enabled.find(id);
        return it == m_enabled.end() || it->second;
    }
    std::pair<int, int> ProgressRange() const {
        std::lock_guard lock(m_mutex);
        return m_progressRange;
    }
    int ProgressPos() const {
        std::lock_guard lock(m_mutex);
        return m_progressPos;
    }
    bool TimerRunning(int id) const {
        std::lock_guard lock(m_mutex);
        return m_timers.count(id) != 0;
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_log.clear();
        m_messages.clear();
        m_enabled.clear();
        m_enableCalls.clear();
        m_timers.clear();
        m_progressRange = {0, 0};
        m_progressPos = 0;
    }

  private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_log;
    std::vector<MessageBoxText> m_messages;
    std::map<int, bool> m_enabled;
    std::vector<std::pair<int, bool>> m_enableCalls;
    std::map<int, uint32_t> m_timers;
    std::pair<int, int> m_progressRange{0, 0};
    int m_progressPos = 0;
};
