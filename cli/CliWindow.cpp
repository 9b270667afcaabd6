#include "cli/CliWindow.h"

#include <QJsonDocument>

#include "SerialLib/Serial/posix/Clock.h"
#include "cli/CliResult.h"
#include "cli/JsonLines.h"
#include "link/SharedState.h"

namespace {
constexpr const char* kClearLine = "\r\033[K";

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

CCliWindow::CCliWindow(std::FILE* out, std::FILE* progress, bool json)
    : m_out(out), m_progress(progress), m_json(json) {
    m_clock.start();
    connect(&m_eraseTimer, &QTimer::timeout, this, [this] { OnEraseTick(); });
    connect(&m_programTimer, &QTimer::timeout, this, [this] { OnProgramTick(); });
}

void CCliWindow::LogLine(const std::string& text) {
    if (m_json) {
        WriteEvent(jsonl::kLogEvent, {{jsonl::kText, Text(text)}});
    } else {
        WriteLine(text);
    }
}

void CCliWindow::ShowMessage(const MessageBoxText& message) {
    if (m_json) {
        WriteEvent(jsonl::kMessageEvent, {{jsonl::kText, Text(message.text)},
                                          {jsonl::kCaption, Text(message.caption)},
                                          {jsonl::kDetail, Text(message.detail)}});
        return;
    }
    WriteLine(message.text);
    if (!message.detail.empty()) {
        WriteLine(message.detail);
    }
}

void CCliWindow::NoteLoader(LoaderGeneration loader) {
    if (m_json) {
        WriteEvent(jsonl::kLoaderEvent, {{jsonl::kLoader, LoaderName(loader)}});
    }
}

void CCliWindow::PrintLine(const std::string& text) {
    if (!m_json) {
        WriteLine(text);
    }
}

void CCliWindow::WriteEvent(const char* event, const QJsonObject& fields) {
    // QJsonObject keeps its keys sorted; the two that every event has lead the line.
    QJsonObject rest = fields;
    rest.remove(jsonl::kEvent);
    rest.remove(jsonl::kTimeMs);
    const QByteArray body = QJsonDocument(rest).toJson(QJsonDocument::Compact);
    std::string line = std::string("{\"") + jsonl::kEvent + "\":\"" + event + "\",\"" +
                       jsonl::kTimeMs + "\":" + std::to_string(ElapsedMs());
    if (body.size() > 2) {
        line += ',' + body.mid(1).toStdString();
    } else {
        line += '}';
    }
    std::lock_guard lock(m_mutex);
    WriteOutLocked(line);
}

void CCliWindow::PrintSummary(const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (m_progress == nullptr) {
        return;
    }
    if (m_progressShown) {
        std::fputs(kClearLine, m_progress);
        m_progressShown = false;
    }
    std::fputs((text + "\n").c_str(), m_progress);
    std::fflush(m_progress);
}

void CCliWindow::WriteLine(const std::string& text) {
    std::lock_guard lock(m_mutex);
    WriteOutLocked(text);
}

void CCliWindow::WriteOutLocked(const std::string& line) {
    if (m_progressShown) {
        std::fputs(kClearLine, m_progress);
        std::fflush(m_progress);
    }
    std::fputs(line.c_str(), m_out);
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
    QJsonObject progress;
    {
        std::lock_guard lock(m_mutex);
        const bool programming = Shared().UpdatePhase == PhaseProgramming;
        m_display.OnProgramTick(TimeGetTime());
        DrawProgressLocked();
        if (programming && m_json) {
            progress = ProgressFields();
        }
    }
    if (!progress.isEmpty()) {
        WriteEvent(jsonl::kProgressEvent, progress);
    }
}

QJsonObject CCliWindow::ProgressFields() const {
    const uint32_t written = Shared().WrittenBlocks;
    const uint32_t total = Shared().TotalBlocks;
    const uint64_t percent = total == 0 ? 0 : uint64_t{written} * 100 / total;
    return {{jsonl::kPercent, static_cast<qint64>(percent)},
            {jsonl::kWritten, static_cast<qint64>(written)},
            {jsonl::kTotal, static_cast<qint64>(total)},
            {jsonl::kSpeed, static_cast<qint64>(m_display.Speed)},
            {jsonl::kRemaining, static_cast<qint64>(m_display.RemainingSeconds)}};
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
