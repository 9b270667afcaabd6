#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "SerialLib/Serial/Diagnostics.h"

// Collects every diagnostics report while it lives; restores the previous handler.
class DiagCapture {
  public:
    DiagCapture() {
        m_previous = serialdiag::SetHandler([this](const serialdiag::Report& report) {
            std::lock_guard lock(m_mutex);
            m_reports.push_back(report);
        });
    }
    ~DiagCapture() { serialdiag::SetHandler(m_previous); }

    // Number of traces (or assertion reports) whose text is exactly `text`.
    int Count(const std::string& text, serialdiag::Kind kind = serialdiag::Kind::Trace) const {
        std::lock_guard lock(m_mutex);
        int n = 0;
        for (const auto& report : m_reports) {
            n += (report.kind == kind && report.text == text) ? 1 : 0;
        }
        return n;
    }
    bool Has(const std::string& text, serialdiag::Kind kind = serialdiag::Kind::Trace) const {
        return Count(text, kind) > 0;
    }
    std::vector<serialdiag::Report> Reports() const {
        std::lock_guard lock(m_mutex);
        return m_reports;
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_reports.clear();
    }

  private:
    mutable std::mutex m_mutex;
    std::vector<serialdiag::Report> m_reports;
    serialdiag::Handler m_previous;
};
