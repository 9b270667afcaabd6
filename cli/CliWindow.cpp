#include "cli/CliWindow.h"

#include "SerialLib/Serial/posix/Clock.h"
#include "link/SharedState.h"

namespace {
constexpr const char* kClearLine = "\r\033[K";
}

CCliWindow::CCliWindow(std::FILE* out, std::FILE* progress) : m_out(out), m_progress(progress) {
    connect(&m_eraseTimer, &QTimer::timeout, this, [this] { OnEraseTick(); });
    connect(&m_programTimer, &QTimer::timeout, this, [this] { OnProgramTick(); });
}

void CCliWindow::LogLine(const std::string& text) {
    WriteLine(text);
}

void CCliWindow::ShowMessage(const MessageBoxText& message) {
    WriteLine(message.text);
    if (!message.detail.empty()) {
        WriteLine(message.detail);
    }
}

void CCliWindow::PrintLine(const std::string& text) {
    WriteLine(text);
}

void CCliWindow::WriteLine(const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (m_progressShown) {
        std::fputs(kClearLine, m_progress);
        std::fflush(m_progress);
    }
    std::fputs(text.c_str(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
    if (m_progressShown) {
        DrawProgressLocked();
    }
}

// The buttons do not exist here; the progress line reads the shared progress state.
void CCliWindow::EnableControl(int, bool) {}
void CCliWindow::SetProgressRange(int, int) {}
void CCliWindow::SetProgressPos(int) {}

// Timers live on the event loop's thread; the worker's requests are queued there
// in the order they were made.
void CCliWindow::StartTimer(int id, uint32_t periodMs) {
    QMetaObject::invokeMethod(
        this,
        [this, id, periodMs] {
            QTimer& timer = id == EraseTimer ? m_eraseTimer : m_programTimer;
            m_erasing = id == EraseTimer;
            timer.start(static_cast<int>(periodMs));
        },
        Qt::QueuedConnection);
}

void CCliWindow::StopTimer(int id) {
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            (id == EraseTimer ? m_eraseTimer : m_programTimer).stop();
            if (id == EraseTimer) {
                m_erasing = false;
            }
        },
        Qt::QueuedConnection);
}

void CCliWindow::OnEraseTick() {
    std::lock_guard lock(m_mutex);
    m_display.OnEraseTick();
    DrawProgressLocked();
}

void CCliWindow::OnProgramTick() {
    std::lock_guard lock(m_mutex);
    m_display.OnProgramTick(TimeGetTime());
    DrawProgressLocked();
}

void CCliWindow::DrawProgressLocked() {
    if (m_progress == nullptr) {
        return;
    }
    std::fputs(kClearLine, m_progress);
    std::fputs(ProgressLine().c_str(), m_progress);
    std::fflush(m_progress);
    m_progressShown = true;
}

std::string CCliWindow::ProgressLine() const {
    const std::string percent = Shared().PercentText.Get();
    if (m_erasing) {
        return "erasing " + percent;
    }
    return percent + "  " + std::to_string(Shared().WrittenBlocks.load()) + "/" +
           std::to_string(Shared().TotalBlocks.load()) + " blocks  elapsed " +
           m_display.ElapsedText + "  " + m_display.SpeedText + "  remaining " +
           m_display.RemainingText;
}

void CCliWindow::FinishProgressLine() {
    std::lock_guard lock(m_mutex);
    if (m_progressShown) {
        std::fputc('\n', m_progress);
        std::fflush(m_progress);
        m_progressShown = false;
    }
}
