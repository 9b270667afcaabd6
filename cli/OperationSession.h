#pragma once

#include <QMetaObject>
#include <string>

#include "cli/CliOptions.h"
#include "link/DeviceLink.h"
#include "update/RunReport.h"
#include "update/UpdateEngine.h"

class QCoreApplication;
class CCliWindow;
class CSignalPipe;

// One device link and one engine for the whole invocation: runs today's operations
// on the port one after another, each exactly as its button runs it, until its run
// ends. Ctrl-C or SIGTERM stops the run under way and closes the port.
class COperationSession {
  public:
    COperationSession(QCoreApplication& app, CCliWindow& window, CSignalPipe& signalPipe,
                      std::string port);
    ~COperationSession();
    COperationSession(const COperationSession&) = delete;
    COperationSession& operator=(const COperationSession&) = delete;

    CUpdateEngine& Engine() { return m_engine; }
    // Runs `operation` to its end; the report of a run that could not start is empty.
    RunReport Run(CliOptions::Operation operation);
    // The signal that stopped the session; 0 while none did.
    int StopSignal() const { return m_signal; }

  private:
    bool Start(CliOptions::Operation operation);
    void OnStopSignal(int signal);

    QCoreApplication& m_app;
    CCliWindow& m_window;
    const std::string m_port;
    CDeviceLink m_link;
    CUpdateEngine m_engine;
    QMetaObject::Connection m_stopConnection;
    int m_signal = 0;
};
