#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QTimer>
#include <optional>

#include "station/Operation.h"

// How a slot's run is started: tovrane-cli with --json for one port.
struct ChildLaunch {
    QString program;  // the tovrane-cli executable
    QString port;
    Operation operation = Operation::UpdateDsp;
    QString imagesFolder;
    bool requireVerify = false;
    // A release bundle whose steps run instead of the operation; its manifest says
    // whether verification is required, and it holds its images.
    QString bundle;
    QString allowedSigners;  // the trust file for the bundle; empty: tovrane-cli's default

    bool RunsBundle() const { return !bundle.isEmpty(); }
};

// The figures of one progress object.
struct ProgressFigures {
    int percent = 0;
    qint64 written = 0;
    qint64 total = 0;
    qint64 speed = 0;      // blocks per second
    qint64 remaining = 0;  // seconds
};

// Everything the end of a child says about how its run went.
struct ChildEnding {
    QString startError;                 // set when the child could not be started at all
    bool crashed = false;               // ended by a signal
    int exitCode = -1;                  // its exit status, or the signal's number when crashed
    bool silent = false;                // the station ended it after it wrote nothing for too long
    QString malformedLine;              // the first line that was not a JSON object, shortened
    std::optional<QJsonObject> result;  // the last result object it wrote
    bool linesAfterResult = false;
    qint64 durationMs = 0;
};

// One run of tovrane-cli for one slot. Its JSON Lines are read as they come, on
// the event loop; nothing here ever waits for the child. A child that writes
// nothing for longer than the engine can legitimately stay quiet is stopped.
// Stop sends SIGTERM (the CLI stops at the next exchange and reports), and
// SIGKILL if it has not ended after a grace period. The child gets SIGTERM from
// the kernel when the station dies, so no orphan keeps a port.
class CChildRun : public QObject {
    Q_OBJECT

  public:
    explicit CChildRun(ChildLaunch launch, QObject* parent = nullptr);
    ~CChildRun() override;

    void Start();
    void Stop();
    bool Running() const;
    qint64 Pid() const;

  signals:
    void LogLine(const QDateTime& time, const QString& text);
    void Progress(const ProgressFigures& figures);
    // The loader generation that answered ("old", "new"), as soon as it is known.
    void LoaderAnswered(const QString& loader);
    // A bundle's step ("dsp", "mcu", "version") begins, the `index`th (from 1) of `count`.
    void StepBegan(const QString& step, int index, int count);
    // Exactly once per Start.
    void Ended(const ChildEnding& ending);

  private:
    void OnStdout();
    void OnStderr();
    void OnFinished(int exitCode, QProcess::ExitStatus status);
    void OnError(QProcess::ProcessError error);
    void OnSilence();
    void HandleLine(const QByteArray& line);
    void HandleObject(const QJsonObject& object);
    void NoteMalformed(const QByteArray& line);
    void Log(const QString& text);
    QStringList Arguments() const;
    void End();

    ChildLaunch m_launch;
    QProcess m_process;
    QTimer m_silenceTimer;
    QTimer m_killTimer;
    qint64 m_startMs = 0;
    bool m_skipToLineEnd = false;  // the rest of an over-long line is dropped
    bool m_ended = false;
    ChildEnding m_ending;
};
