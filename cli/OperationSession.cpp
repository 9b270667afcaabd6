#include "cli/OperationSession.h"

#include <QCoreApplication>

#include "cli/CliWindow.h"
#include "cli/SignalPipe.h"

COperationSession::COperationSession(QCoreApplication& app, CCliWindow& window,
                                     CSignalPipe& signalPipe, std::string port)
    : m_app(app),
      m_window(window),
      m_port(std::move(port)),
      m_link(window),
      m_engine(m_link, window) {
    m_engine.SetRunEndedHandler(
        [&app] { QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection); });
    // The window learns the loader as soon as it answers, not only from the result.
    m_engine.SetLoaderAnsweredHandler(
        [&window](LoaderGeneration loader) { window.NoteLoader(loader); });
    m_stopConnection = QObject::connect(&signalPipe, &CSignalPipe::Received,
                                        [this](int signal) { OnStopSignal(signal); });
}

COperationSession::~COperationSession() {
    QObject::disconnect(m_stopConnection);
}

RunReport COperationSession::Run(CliOptions::Operation operation) {
    if (!Start(operation)) {
        return {};
    }
    m_app.exec();
    m_engine.Stop();
    return m_engine.LastReport();
}

bool COperationSession::Start(CliOptions::Operation operation) {
    switch (operation) {
        case CliOptions::Operation::UpdateDsp:
            return m_engine.OnUpdateDsp(m_port);
        case CliOptions::Operation::UpdateMcu:
            return m_engine.OnUpdateMcu(m_port);
        case CliOptions::Operation::ReadVersion:
            return m_engine.OnReadVersion(m_port);
        case CliOptions::Operation::Bundle:
        case CliOptions::Operation::None:
            break;
    }
    return false;
}

// Ctrl-C and SIGTERM reach the event loop through a pipe, where they can stop the
// worker safely; the first one counts.
void COperationSession::OnStopSignal(int signal) {
    if (m_signal != 0) {
        return;
    }
    m_engine.Stop();
    m_link.ClosePort();
    m_window.FinishProgressLine();
    m_window.PrintLine(
        "Interrupted: the update stopped and the port was closed. A new loader "
        "resumes where it stopped on the next run.");
    m_signal = signal;
    m_app.quit();
}
