#include "UpdateRig.h"

#include <QEventLoop>
#include <QTimer>

#include "WorkerRunner.h"
#include "link/Timeouts.h"
#include "update/ImageFiles.h"

UpdateRig::UpdateRig(uint32_t scalePercent, std::unique_ptr<RecordingWindow> window)
    : m_window(window ? std::move(window) : std::make_unique<RecordingWindow>()),
      m_link(*m_window),
      m_engine(m_link, *m_window) {
    Shared().Reset();
    timing::SetScalePercentForTests(scalePercent);
    SetImageDirectory(m_images.Path().string());
}

UpdateRig::~UpdateRig() {
    m_engine.Stop();
    SetImageDirectory({});
    timing::SetScalePercentForTests(100);
}

bool UpdateRig::Press(OperationModeValue mode, const std::optional<std::string>& port,
                      std::chrono::milliseconds limit) {
    QEventLoop loop;
    m_engine.SetRunEndedHandler(
        [&loop] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
    bool started = false;
    switch (mode) {
        case ModeDsp:
            started = m_engine.OnUpdateDsp(port);
            break;
        case ModeMcu:
            started = m_engine.OnUpdateMcu(port);
            break;
        case ModeReadVersion:
            started = m_engine.OnReadVersion(port);
            break;
        case ModeNone:
            break;
    }
    bool late = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        late = true;
        loop.quit();
    });
    deadline.start(limit);
    while (started && m_engine.Running() && !late) {
        loop.exec();
    }
    if (late) {
        m_engine.Stop();
    }
    m_engine.SetRunEndedHandler({});
    return started && !late;
}

bool UpdateRig::RunSteps(const std::string& port, const std::function<void(CUpdateSteps&)>& work) {
    return RunOnWorker([&] {
        m_link.OpenPort(port, true);
        CUpdateSteps steps(m_link, *m_window);
        work(steps);
        m_link.ClosePort();
    });
}
