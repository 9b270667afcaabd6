#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "link/DeviceLink.h"
#include "link/MainWindow.h"
#include "update/GuardedWindow.h"
#include "update/RunReport.h"

class QEventLoop;

// How the last run ended, for a caller that needs an exit status; the window
// shows the same run only through its log, message boxes and progress.
enum class OperationOutcome {
    None,         // no run yet, or one still under way
    Finished,     // an update reached its finished phase
    VersionRead,  // the version text was read and shown
    Failed,       // anything else the tool reported
};

// Turns a button press into one worker thread that opens the link, runs the
// chosen operation and closes the link again. Only one worker runs at a time: the
// operation buttons are disabled before it starts and enabled again when it ends.
// Destroying the engine (the window closing) stops a running worker and waits for
// it; after the stop it touches neither the window nor the port.
class CUpdateEngine {
  public:
    CUpdateEngine(CDeviceLink& link, MainWindow& window);
    ~CUpdateEngine();
    CUpdateEngine(const CUpdateEngine&) = delete;
    CUpdateEngine& operator=(const CUpdateEngine&) = delete;

    // The three buttons, on the window thread. `selectedPort` is the selected port
    // list entry, nullopt when nothing is selected. False when no worker started.
    bool OnUpdateDsp(const std::optional<std::string>& selectedPort);
    bool OnUpdateMcu(const std::optional<std::string>& selectedPort);
    bool OnReadVersion(const std::optional<std::string>& selectedPort);

    // Cuts the worker's waits short and waits for it to end, serving the window
    // thread's events meanwhile so the worker's pending window request completes.
    void Stop();
    bool Running() const { return m_running; }
    // The port of the run under way, or of the last one.
    const std::string& Port() const { return m_port; }
    OperationOutcome LastOutcome() const { return m_outcome; }
    // The last run in detail; complete once Running() is false.
    RunReport LastReport() const;
    // Updates refuse an image without a checkpoint record (set before a press).
    void SetRequireCheckpoint(bool require) { m_requireCheckpoint = require; }
    // Called on the worker as soon as a loader generation answered, before the update
    // goes on (set before a press). It must not wait for the window thread.
    void SetLoaderAnsweredHandler(std::function<void(LoaderGeneration)> handler) {
        m_loaderAnswered = std::move(handler);
    }
    // Called on the worker as the very last thing it does in each run, under the
    // engine's lock: it must not call back into the engine (posting an event is fine).
    void SetRunEndedHandler(std::function<void()> handler);

  private:
    bool Start(int32_t mode, bool switchBaud, const std::optional<std::string>& selectedPort);
    static void OperationThread(CUpdateEngine* engine);
    void RunOperation();
    void DispatchOperation();
    void ReadVersion();
    void UpdateImage();
    // The window as the worker reaches it: silent once a stop was requested.
    GuardedWindow Window();
    void SetOperationButtons(bool enable);
    void EndRun(RunResult result);
    void WaitForWorker();

    CDeviceLink& m_link;
    MainWindow& m_window;
    // Written by the window thread before a worker starts.
    std::string m_port;
    bool m_switchBaud = false;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<OperationOutcome> m_outcome{OperationOutcome::None};
    std::atomic<bool> m_requireCheckpoint{false};
    std::function<void(LoaderGeneration)> m_loaderAnswered;
    RunReport m_report;  // the worker's own, until EndRun

    mutable std::mutex m_mutex;  // guards the three below
    std::function<void()> m_runEnded;
    QEventLoop* m_stopLoop = nullptr;
    RunReport m_lastReport;
};
