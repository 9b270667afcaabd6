#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "link/MainWindow.h"
#include "link/SharedState.h"
#include "update/ProgressDisplay.h"

// The window of the headless front end: log lines and message texts go to
// standard output as they happen, as plain lines or as JSON objects (with a
// progress object every second while programming); the display timers tick on
// the event loop's thread and, when standard error is a terminal, redraw a
// progress line there.
class CCliWindow : public QObject, public MainWindow {
  public:
    CCliWindow(std::FILE* out, std::FILE* progress, bool json);

    void LogLine(const std::string& text) override;
    void EnableControl(int id, bool enable) override;
    void ShowMessage(const MessageBoxText& message) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int pos) override;
    void StartTimer(int id, uint32_t periodMs) override;
    void StopTimer(int id) override;

    // Prints a line of the front end's own (not a log line of the tool); JSON
    // output leaves it to the result object.
    void PrintLine(const std::string& text);
    // Says which loader answered, as a loader event; the plain lines leave it to the log.
    void NoteLoader(LoaderGeneration loader);
    // Writes one JSON object as a line; `event` and `t_ms` come first.
    void WriteEvent(const char* event, const QJsonObject& fields);
    // Writes a summary line to the progress stream (a terminal), if there is one.
    void PrintSummary(const std::string& text);
    // Milliseconds since the window was made.
    int64_t ElapsedMs() const { return m_clock.elapsed(); }
    // Ends the progress line so the shell prompt starts on a line of its own.
    void FinishProgressLine();

  private:
    void OnEraseTick();
    void OnProgramTick();
    void WriteLine(const std::string& text);
    void WriteOutLocked(const std::string& line);
    void DrawProgressLocked();
    std::string ProgressLine() const;
    QJsonObject ProgressFields() const;

    std::FILE* m_out;
    std::FILE* m_progress;  // null when standard error is not a terminal
    const bool m_json;
    QElapsedTimer m_clock;
    std::mutex m_mutex;  // one writer at a time on both streams
    std::atomic<bool> m_erasing{false};
    bool m_progressShown = false;
    CProgressDisplay m_display;
    QTimer m_eraseTimer;
    QTimer m_programTimer;
};
