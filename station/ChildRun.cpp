#include "station/ChildRun.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonParseError>

#include "cli/JsonLines.h"
#include "link/Timeouts.h"

namespace {

// No line of tovrane-cli comes near this; a longer one is not its output.
constexpr qint64 kMaxLineBytes = qint64{64} * 1024;
constexpr qsizetype kQuotedLineChars = 120;

QString Quoted(const QByteArray& line) {
    QString text = QString::fromUtf8(line.left(kQuotedLineChars * 4)).trimmed();
    if (text.size() > kQuotedLineChars) {
        text = text.left(kQuotedLineChars) + QStringLiteral("…");
    }
    return text;
}

QByteArray WithoutLineEnd(QByteArray line) {
    while (line.endsWith('\n') || line.endsWith('\r')) {
        line.chop(1);
    }
    return line;
}

qint64 NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

CChildRun::CChildRun(ChildLaunch launch, QObject* parent)
    : QObject(parent), m_launch(std::move(launch)) {
    m_silenceTimer.setSingleShot(true);
    m_killTimer.setSingleShot(true);
    connect(&m_silenceTimer, &QTimer::timeout, this, &CChildRun::OnSilence);
    connect(&m_killTimer, &QTimer::timeout, &m_process, &QProcess::kill);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &CChildRun::OnStdout);
    connect(&m_process, &QProcess::readyReadStandardError, this, &CChildRun::OnStderr);
    connect(&m_process, &QProcess::finished, this, &CChildRun::OnFinished);
    connect(&m_process, &QProcess::errorOccurred, this, &CChildRun::OnError);
}

CChildRun::~CChildRun() {
    if (Running()) {
        m_process.kill();
        m_process.waitForFinished(static_cast<int>(timing::Scaled(timing::kChildStopGraceMs)));
    }
}

QStringList CChildRun::Arguments() const {
    QStringList arguments{"--json", "--port", m_launch.port};
    if (m_launch.RunsBundle()) {
        arguments << "--bundle" << m_launch.bundle;
        if (!m_launch.allowedSigners.isEmpty()) {
            arguments << "--allowed-signers" << m_launch.allowedSigners;
        }
        return arguments;
    }
    arguments << OperationFlag(m_launch.operation);
    if (!m_launch.imagesFolder.isEmpty()) {
        arguments << "--images" << m_launch.imagesFolder;
    }
    if (m_launch.requireVerify) {
        arguments << "--require-verify";
    }
    return arguments;
}

void CChildRun::Start() {
    // The child stops as after SIGTERM when the station dies, however it dies.
    const pid_t station = ::getpid();
    m_process.setChildProcessModifier([station] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != station) {
            ::raise(SIGTERM);
        }
    });
    m_ending = {};
    m_ended = false;
    m_skipToLineEnd = false;
    m_startMs = NowMs();
    m_silenceTimer.start(static_cast<int>(timing::Scaled(timing::kChildSilenceLimitMs)));
    m_process.start(m_launch.program, Arguments(), QIODevice::ReadOnly);
}

void CChildRun::Stop() {
    if (!Running() || m_killTimer.isActive()) {
        return;
    }
    m_process.terminate();
    m_killTimer.start(static_cast<int>(timing::Scaled(timing::kChildStopGraceMs)));
}

bool CChildRun::Running() const {
    return m_process.state() != QProcess::NotRunning;
}

qint64 CChildRun::Pid() const {
    return m_process.processId();
}

void CChildRun::OnStdout() {
    m_silenceTimer.start();
    while (m_process.canReadLine() || m_process.bytesAvailable() >= kMaxLineBytes) {
        const QByteArray line = m_process.readLine(kMaxLineBytes);
        const bool complete = line.endsWith('\n');
        if (m_skipToLineEnd) {
            m_skipToLineEnd = !complete;
            continue;
        }
        if (!complete) {
            NoteMalformed(line);
            m_skipToLineEnd = true;
            continue;
        }
        HandleLine(WithoutLineEnd(line));
    }
}

// The CLI writes nothing there unless something went badly wrong; what it says
// goes into the slot's log, a line at a time, as far as it is bounded. Lines are
// read from the channel that is current, so stderr is made current meanwhile.
void CChildRun::OnStderr() {
    m_process.setReadChannel(QProcess::StandardError);
    while (m_process.canReadLine() || m_process.bytesAvailable() >= kMaxLineBytes) {
        Log(tr("stderr: %1").arg(Quoted(m_process.readLine(kMaxLineBytes))));
    }
    m_process.setReadChannel(QProcess::StandardOutput);
}

void CChildRun::HandleLine(const QByteArray& line) {
    if (line.isEmpty()) {
        return;
    }
    if (m_ending.result) {
        m_ending.linesAfterResult = true;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        NoteMalformed(line);
        return;
    }
    HandleObject(document.object());
}

void CChildRun::HandleObject(const QJsonObject& object) {
    const QString event = object.value(jsonl::kEvent).toString();
    if (event == QLatin1String(jsonl::kLogEvent)) {
        Log(object.value(jsonl::kText).toString());
    } else if (event == QLatin1String(jsonl::kMessageEvent)) {
        const QString detail = object.value(jsonl::kDetail).toString();
        const QString text = object.value(jsonl::kText).toString();
        Log(detail.isEmpty() ? text : text + QStringLiteral(": ") + detail);
    } else if (event == QLatin1String(jsonl::kProgressEvent)) {
        emit Progress(
            {object.value(jsonl::kPercent).toInt(), object.value(jsonl::kWritten).toInteger(),
             object.value(jsonl::kTotal).toInteger(), object.value(jsonl::kSpeed).toInteger(),
             object.value(jsonl::kRemaining).toInteger()});
    } else if (event == QLatin1String(jsonl::kLoaderEvent)) {
        emit LoaderAnswered(object.value(jsonl::kLoader).toString());
    } else if (event == QLatin1String(jsonl::kStepEvent)) {
        emit StepBegan(object.value(jsonl::kStep).toString(),
                       object.value(jsonl::kStepIndex).toInt(),
                       object.value(jsonl::kStepCount).toInt());
    } else if (event == QLatin1String(jsonl::kResultEvent)) {
        m_ending.result = object;
        m_ending.linesAfterResult = false;
    } else {
        NoteMalformed(QJsonDocument(object).toJson(QJsonDocument::Compact));
    }
}

void CChildRun::NoteMalformed(const QByteArray& line) {
    if (m_ending.malformedLine.isEmpty()) {
        m_ending.malformedLine = Quoted(line);
        if (m_ending.malformedLine.isEmpty()) {
            m_ending.malformedLine = QStringLiteral("?");
        }
    }
    if (m_ending.result) {
        m_ending.linesAfterResult = true;
    }
    Log(tr("Not a line of tovrane-cli: %1").arg(Quoted(line)));
}

void CChildRun::Log(const QString& text) {
    emit LogLine(QDateTime::currentDateTime(), text);
}

void CChildRun::OnSilence() {
    if (!Running()) {
        return;
    }
    m_ending.silent = true;
    Log(tr("tovrane-cli wrote nothing for %1 s: stopping it.")
            .arg(timing::Scaled(timing::kChildSilenceLimitMs) / 1000.0));
    Stop();
}

void CChildRun::OnFinished(int exitCode, QProcess::ExitStatus status) {
    // What is still buffered belongs to the run; a last line may lack its line end.
    OnStdout();
    OnStderr();
    const QByteArray rest = m_process.readAllStandardOutput();
    if (!m_skipToLineEnd && !rest.isEmpty()) {
        HandleLine(WithoutLineEnd(rest));
    }
    const QByteArray restOfStderr = m_process.readAllStandardError();
    if (!restOfStderr.isEmpty()) {
        Log(tr("stderr: %1").arg(Quoted(restOfStderr)));
    }
    m_ending.crashed = status == QProcess::CrashExit;
    m_ending.exitCode = exitCode;
    End();
}

void CChildRun::OnError(QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) {
        m_ending.startError = m_process.errorString();
        End();
    }
}

void CChildRun::End() {
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_silenceTimer.stop();
    m_killTimer.stop();
    m_ending.durationMs = NowMs() - m_startMs;
    emit Ended(m_ending);
}
