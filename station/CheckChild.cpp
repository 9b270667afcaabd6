#include "station/CheckChild.h"

#include <utility>

#include "link/Timeouts.h"

namespace {

// A check writes a few lines; far more than this is not tovrane-cli's answer.
constexpr qsizetype kMaxOutputBytes = qsizetype{1} << 20;

}  // namespace

CCheckChild::CCheckChild(QString cliPath, uint32_t limitMs, QObject* parent)
    : QObject(parent), m_cliPath(std::move(cliPath)), m_limitMs(limitMs) {
    m_timeLimit.setSingleShot(true);
    connect(&m_timeLimit, &QTimer::timeout, this, &CCheckChild::OnTimeLimit);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &CCheckChild::OnOutput);
    connect(&m_process, &QProcess::finished, this, &CCheckChild::OnFinished);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            m_timeLimit.stop();
            emit Failed(tr("tovrane-cli could not be started: %1").arg(m_process.errorString()));
        }
    });
}

// A check under way ends with this object; its ending must reach nothing that is
// going, such as the owner this object is a member of.
CCheckChild::~CCheckChild() {
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(static_cast<int>(timing::Scaled(timing::kChildStopGraceMs)));
    }
}

void CCheckChild::Run(const QStringList& arguments) {
    if (m_process.state() == QProcess::NotRunning) {
        Start(arguments);
        return;
    }
    m_next = arguments;
    m_abandoned = true;
    m_process.kill();  // OnFinished starts the newer check
}

void CCheckChild::Cancel() {
    m_next.reset();
    if (m_process.state() != QProcess::NotRunning) {
        m_abandoned = true;
        m_process.kill();
    }
    m_timeLimit.stop();
}

void CCheckChild::Start(const QStringList& arguments) {
    m_arguments = arguments;
    m_output.clear();
    m_abandoned = false;
    m_timeLimit.start(static_cast<int>(timing::Scaled(m_limitMs)));
    m_process.start(m_cliPath, arguments, QIODevice::ReadOnly);
}

void CCheckChild::OnOutput() {
    m_output += m_process.read(kMaxOutputBytes + 1 - m_output.size());
    if (m_output.size() > kMaxOutputBytes) {
        Abandon(tr("%1 wrote more than %2 KiB").arg(Command()).arg(kMaxOutputBytes / 1024));
    }
}

void CCheckChild::OnFinished(int /*exitCode*/, QProcess::ExitStatus status) {
    m_timeLimit.stop();
    if (!m_abandoned) {
        OnOutput();
    }
    if (m_next) {
        Start(*std::exchange(m_next, std::nullopt));
        return;
    }
    if (std::exchange(m_abandoned, false)) {
        return;
    }
    if (status == QProcess::CrashExit) {
        emit Failed(tr("%1 ended abnormally").arg(Command()));
        return;
    }
    emit Answered(std::exchange(m_output, {}));
}

void CCheckChild::OnTimeLimit() {
    Abandon(tr("%1 took longer than %2 s").arg(Command()).arg(timing::Scaled(m_limitMs) / 1000));
}

void CCheckChild::Abandon(const QString& reason) {
    if (m_abandoned) {
        return;
    }
    m_abandoned = true;
    m_process.kill();
    emit Failed(reason);
}

// "tovrane-cli --check-images", for the operator.
QString CCheckChild::Command() const {
    return QStringLiteral("tovrane-cli ") + m_arguments.value(0);
}
