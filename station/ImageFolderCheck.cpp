#include "station/ImageFolderCheck.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <span>
#include <utility>

#include "cli/JsonLines.h"
#include "link/Timeouts.h"
#include "update/ImageFiles.h"

namespace {

constexpr int kDspImage = 0;
constexpr int kMcuOldImage = 1;
constexpr int kMcuNewImage = 2;

}  // namespace

CImageFolderCheck::CImageFolderCheck(QString cliPath, QObject* parent)
    : QObject(parent), m_cliPath(std::move(cliPath)) {
    m_images[kDspImage].name = kDspImageName;
    m_images[kMcuOldImage].name = kMcuOldImageName;
    m_images[kMcuNewImage].name = kMcuNewImageName;
    m_delay.setSingleShot(true);
    m_delay.setInterval(static_cast<int>(timing::Scaled(timing::kImageCheckDelayMs)));
    m_timeLimit.setSingleShot(true);
    connect(&m_delay, &QTimer::timeout, this, &CImageFolderCheck::RunCheck);
    connect(&m_timeLimit, &QTimer::timeout, this, &CImageFolderCheck::OnTimeLimit);
    connect(&m_process, &QProcess::finished, this, &CImageFolderCheck::OnFinished);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            FailAll(tr("tovrane-cli could not be started: %1").arg(m_process.errorString()));
        }
    });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            &CImageFolderCheck::ScheduleCheck);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &CImageFolderCheck::ScheduleCheck);
}

// A check under way ends with this object; its ending must reach nothing that is going.
CImageFolderCheck::~CImageFolderCheck() {
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(static_cast<int>(timing::Scaled(timing::kChildStopGraceMs)));
    }
}

void CImageFolderCheck::SetFolder(const QString& folder) {
    m_folder = folder;
    WatchFolder();
    RunCheck();
}

void CImageFolderCheck::SetRequireVerify(bool required) {
    if (required != m_requireVerify) {
        m_requireVerify = required;
        if (!m_folder.isEmpty()) {
            RunCheck();
        }
    }
}

bool CImageFolderCheck::Checking() const {
    return m_images[kDspImage].state == ImageStatus::State::Checking;
}

QString CImageFolderCheck::BlockerFor(Operation operation) const {
    if (!WritesImage(operation)) {
        return {};
    }
    if (Checking()) {
        return tr("The images are still being checked.");
    }
    const bool dsp = operation == Operation::UpdateDsp;
    static constexpr int kDspImages[] = {kDspImage};
    static constexpr int kMcuImages[] = {kMcuOldImage, kMcuNewImage};
    bool anyAccepted = false;
    for (int image : dsp ? std::span<const int>(kDspImages) : std::span<const int>(kMcuImages)) {
        const ImageStatus& status = m_images[static_cast<size_t>(image)];
        if (status.state == ImageStatus::State::Refused) {
            return tr("%1 is refused: %2").arg(status.name, status.reason);
        }
        anyAccepted = anyAccepted || status.state == ImageStatus::State::Accepted;
    }
    if (anyAccepted) {
        return {};
    }
    return dsp ? tr("There is no dsp.hex in %1.").arg(m_folder)
               : tr("There is neither mcu_old.mot nor mcu_new.mot in %1.").arg(m_folder);
}

void CImageFolderCheck::ScheduleCheck() {
    m_delay.start();
}

void CImageFolderCheck::RunCheck() {
    m_delay.stop();
    for (ImageStatus& status : m_images) {
        const QString name = status.name;
        status = {};
        status.name = name;
    }
    emit Changed();
    // A check under way answers for the folder as it was; it is ended and run anew.
    if (m_process.state() != QProcess::NotRunning) {
        m_rerun = true;
        m_process.kill();
        return;  // OnFinished runs the new check
    }
    QStringList arguments{"--check-images", "--json", "--images", m_folder};
    if (m_requireVerify) {
        arguments << "--require-verify";
    }
    m_timeLimit.start(static_cast<int>(timing::Scaled(timing::kImageCheckLimitMs)));
    m_process.start(m_cliPath, arguments, QIODevice::ReadOnly);
}

void CImageFolderCheck::OnFinished(int /*exitCode*/, QProcess::ExitStatus status) {
    m_timeLimit.stop();
    const QByteArray output = m_process.readAllStandardOutput();
    if (std::exchange(m_rerun, false)) {
        RunCheck();
        return;
    }
    if (!Checking()) {
        return;  // the time limit already failed it
    }
    if (status == QProcess::CrashExit) {
        FailAll(tr("tovrane-cli --check-images ended abnormally"));
        return;
    }
    ReadResults(output);
    WatchFolder();
    emit Changed();
}

void CImageFolderCheck::OnTimeLimit() {
    m_process.kill();
    FailAll(tr("checking the images took longer than %1 s")
                .arg(timing::Scaled(timing::kImageCheckLimitMs) / 1000));
}

void CImageFolderCheck::ReadResults(const QByteArray& output) {
    for (ImageStatus& status : m_images) {
        status.state = ImageStatus::State::Missing;
    }
    for (const QByteArray& line : output.split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.value(jsonl::kEvent).toString() != QLatin1String(jsonl::kImageEvent)) {
            continue;
        }
        for (ImageStatus& status : m_images) {
            if (status.name != object.value(jsonl::kName).toString()) {
                continue;
            }
            const QJsonValue blocks = object.value(jsonl::kBlocks);
            const QJsonValue checkpoint = object.value(jsonl::kCheckpoint);
            status.state = object.value(jsonl::kAccepted).toBool() ? ImageStatus::State::Accepted
                                                                   : ImageStatus::State::Refused;
            status.blocks = blocks.isDouble() ? std::optional(blocks.toInteger()) : std::nullopt;
            status.checkpoint =
                checkpoint.isBool() ? std::optional(checkpoint.toBool()) : std::nullopt;
            status.sha256 = object.value(jsonl::kSha256).toString();
            status.reason = object.value(jsonl::kReason).toString();
        }
    }
}

void CImageFolderCheck::FailAll(const QString& reason) {
    for (ImageStatus& status : m_images) {
        status.state = ImageStatus::State::Refused;
        status.reason = reason;
    }
    emit Changed();
}

// The folder tells of files that come, go or are renamed; each present image
// tells of writes into it.
void CImageFolderCheck::WatchFolder() {
    if (!m_watcher.files().isEmpty()) {
        m_watcher.removePaths(m_watcher.files());
    }
    if (!m_watcher.directories().isEmpty()) {
        m_watcher.removePaths(m_watcher.directories());
    }
    if (!QFileInfo(m_folder).isDir()) {
        return;
    }
    m_watcher.addPath(m_folder);
    for (const ImageStatus& status : m_images) {
        const QString path = QDir(m_folder).filePath(status.name);
        if (QFileInfo(path).isFile()) {
            m_watcher.addPath(path);
        }
    }
}
