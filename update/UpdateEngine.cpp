#include "update/UpdateEngine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <array>

#include "link/Commands.h"
#include "link/SharedState.h"
#include "link/Timeouts.h"
#include "update/ImageFiles.h"
#include "update/UpdateProcedures.h"

namespace {

constexpr int kOperationButtons[] = {IdUpdateDsp, IdUpdateMcu, IdReadVersion};
// While stopping, the wait for the worker looks again this often.
constexpr int kStopRecheckMs = 100;

// Which procedure runs for an operation and a loader generation, and what is done
// when its image is missing.
struct DispatchRow {
    int32_t mode;
    LoaderGeneration generation;
    const char* image;
    void (*procedure)(CUpdateSteps&);
    const char* missingCommand;  // sent, with CR, when the image is missing
    bool logBeforeSending;       // the missing-image line comes before the command
};

constexpr DispatchRow kDispatchTable[] = {
    {ModeMcu, LoaderOld, kMcuOldImageName, UpdateMcuOldLoader, "SV", false},
    {ModeMcu, LoaderNew, kMcuNewImageName, UpdateMcuNewLoader, "RES", true},
    {ModeDsp, LoaderOld, kDspImageName, UpdateDspOldLoader, "SV", true},
    {ModeDsp, LoaderNew, kDspImageName, UpdateDspNewLoader, "SV", true},
};

const DispatchRow* FindDispatchRow(int32_t mode, LoaderGeneration generation) {
    for (const DispatchRow& row : kDispatchTable) {
        if (row.mode == mode && row.generation == generation) {
            return &row;
        }
    }
    return nullptr;
}

void ReportMissingImage(CUpdateSteps& steps, const DispatchRow& row) {
    const std::string line = std::string(row.image) + " can not found!";
    if (row.logBeforeSending) {
        steps.Log(line);
    }
    steps.SendIgnoringReply(CrCommand(row.missingCommand));
    if (!row.logBeforeSending) {
        steps.Log(line);
    }
}

OperationOutcome CoarseOutcome(RunResult result) {
    switch (result) {
        case RunResult::None:
            return OperationOutcome::None;
        case RunResult::Finished:
            return OperationOutcome::Finished;
        case RunResult::VersionRead:
            return OperationOutcome::VersionRead;
        default:
            return OperationOutcome::Failed;
    }
}

}  // namespace

CUpdateEngine::CUpdateEngine(CDeviceLink& link, MainWindow& window)
    : m_link(link), m_window(window) {}

CUpdateEngine::~CUpdateEngine() {
    Stop();
}

bool CUpdateEngine::OnUpdateDsp(const std::optional<std::string>& selectedPort) {
    return Start(ModeDsp, true, selectedPort);
}

bool CUpdateEngine::OnUpdateMcu(const std::optional<std::string>& selectedPort) {
    return Start(ModeMcu, true, selectedPort);
}

bool CUpdateEngine::OnReadVersion(const std::optional<std::string>& selectedPort) {
    return Start(ModeReadVersion, false, selectedPort);
}

void CUpdateEngine::SetRunEndedHandler(std::function<void()> handler) {
    std::lock_guard lock(m_mutex);
    m_runEnded = std::move(handler);
}

bool CUpdateEngine::Start(int32_t mode, bool switchBaud,
                          const std::optional<std::string>& selectedPort) {
    // A press while a run is under way changes nothing of that run.
    if (m_running) {
        return false;
    }
    Shared().OperationMode = mode;
    m_switchBaud = switchBaud;
    if (!selectedPort) {
        m_window.ShowMessage({"Canot find serial interface!", "", ""});
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join();  // the previous worker has ended
    }
    m_port = *selectedPort;
    m_link.ClearStop();
    m_outcome = OperationOutcome::None;
    // Disabled before the worker exists, so no press can start a second one while
    // the port is being opened.
    SetOperationButtons(false);
    m_running = true;
    m_thread = std::thread(&CUpdateEngine::OperationThread, this);
    return true;
}

void CUpdateEngine::OperationThread(CUpdateEngine* engine) {
    engine->RunOperation();
}

void CUpdateEngine::RunOperation() {
    m_report = RunReport{};
    const CDeviceLink::Opening opening = m_link.OpenPort(m_port, m_switchBaud);
    if (opening != CDeviceLink::Opening::Opened) {
        SetOperationButtons(true);
        EndRun(opening == CDeviceLink::Opening::SetupFailed ? RunResult::SetupFail
                                                            : RunResult::PortOpenFail);
        return;
    }
    Shared().DeviceIndex = 0;
    Window().Log("Connecting..........");
    DispatchOperation();
    // Once stopped, the port and the window belong to the closing window alone.
    if (!m_link.Pause(timing::kRunEndPauseMs)) {
        EndRun(RunResult::Interrupted);
        return;
    }
    m_link.ClosePort();
    SetOperationButtons(true);
    EndRun(m_report.result);
}

void CUpdateEngine::DispatchOperation() {
    if (m_link.StopRequested()) {
        return;
    }
    if (Shared().OperationMode == ModeReadVersion) {
        ReadVersion();
    } else {
        UpdateImage();
    }
}

void CUpdateEngine::ReadVersion() {
    std::array<char, CDeviceLink::kReplySize> reply{};
    const int length = m_link.SendCommand(CrCommand(kVersionQuery).c_str(), reply.data());
    GuardedWindow window = Window();
    if (length >= kVersionMinLength) {
        const std::string version(reply.data(), static_cast<std::size_t>(length));
        window.Log(version);
        window.ShowMessage({version, "Version", ""});
        m_report.result = RunResult::VersionRead;
        m_report.version = version;
    } else {
        window.ShowMessage({"Read version fail", "Version", ""});
        m_report.result = RunResult::ConnectFail;
        m_report.detail = ReplyEndText(m_link.LastReplyEnd());
    }
}

void CUpdateEngine::UpdateImage() {
    const int32_t mode = Shared().OperationMode;
    const LoaderGeneration generation = m_link.DetectLoader();
    CUpdateSteps steps(m_link, m_window);
    steps.SetRequireCheckpoint(m_requireCheckpoint);
    m_report.loader = generation;
    m_report.result = RunResult::NoLoader;
    if (steps.Stopped()) {
        return;
    }
    if (generation == LoaderNone) {
        m_report.detail = ReplyEndText(m_link.LastReplyEnd());
        steps.Log("Can not connect to device");
        if (mode == ModeMcu) {
            steps.SendIgnoringReply(CrCommand("RES"));
        }
        return;
    }
    if (m_loaderAnswered) {
        m_loaderAnswered(generation);
    }
    const DispatchRow* row = FindDispatchRow(mode, generation);
    if (row == nullptr) {
        return;
    }
    const bool found = ImageFileExists(row->image);
    m_report.image = Shared().ImagePath.Get();
    if (!found) {
        m_report.result = RunResult::ImageMissing;
        ReportMissingImage(steps, *row);
        return;
    }
    row->procedure(steps);
    const RunReport& done = steps.Report();
    // A procedure that ended without saying how was stopped; never count it a success.
    m_report.result = done.result == RunResult::None ? RunResult::WriteFail : done.result;
    m_report.detail = done.detail;
    m_report.verified = done.verified;
    m_report.eraseMs = done.eraseMs;
    m_report.programMs = done.programMs;
    m_report.blocksTotal = Shared().TotalBlocks;
    m_report.blocksWritten = Shared().WrittenBlocks;
}

GuardedWindow CUpdateEngine::Window() {
    return GuardedWindow(m_window, [this] { return m_link.StopRequested(); });
}

void CUpdateEngine::SetOperationButtons(bool enable) {
    GuardedWindow window = Window();
    for (const int id : kOperationButtons) {
        window.EnableControl(id, enable);
    }
}

void CUpdateEngine::EndRun(RunResult result) {
    // A run cut short by a stop is interrupted, whatever it had reached: no detail
    // to add to that.
    m_report.result = m_link.StopRequested() ? RunResult::Interrupted : result;
    if (m_report.result == RunResult::Interrupted) {
        m_report.detail.clear();
    }
    m_outcome = CoarseOutcome(m_report.result);
    std::lock_guard lock(m_mutex);
    m_lastReport = m_report;
    m_running = false;
    if (m_stopLoop != nullptr) {
        QMetaObject::invokeMethod(m_stopLoop, &QEventLoop::quit, Qt::QueuedConnection);
    }
    if (m_runEnded) {
        m_runEnded();
    }
}

RunReport CUpdateEngine::LastReport() const {
    std::lock_guard lock(m_mutex);
    return m_lastReport;
}

void CUpdateEngine::Stop() {
    m_link.RequestStop();
    WaitForWorker();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CUpdateEngine::WaitForWorker() {
    // Off the window thread nothing needs serving: joining is enough.
    if (QCoreApplication::instance() == nullptr || QThread::currentThread() != m_link.thread()) {
        return;
    }
    QEventLoop loop;
    QTimer recheck;
    QObject::connect(&recheck, &QTimer::timeout, &loop, &QEventLoop::quit);
    recheck.start(kStopRecheckMs);
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_running) {
                m_stopLoop = nullptr;
                return;
            }
            m_stopLoop = &loop;
        }
        loop.exec();
    }
}
