#include "station/ImageFolderCheck.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <span>
#include <utility>

#include "cli/JsonLines.h"
#include "link/Timeouts.h"
#include "station/WatchPaths.h"
#include "update/ImageFiles.h"

namespace {

constexpr int kDspImage = 0;
constexpr int kMcuOldImage = 1;
constexpr int kMcuNewImage = 2;

}  // namespace

ImageStatuses UncheckedImages() {
    ImageStatuses images;
    images[kDspImage].name = kDspImageName;
    images[kMcuOldImage].name = kMcuOldImageName;
    images[kMcuNewImage].name = kMcuNewImageName;
    return images;
}

void ReadImageVerdicts(const QByteArray& output, ImageStatuses& images) {
    for (ImageStatus& status : images) {
        status.state = ImageStatus::State::Missing;
    }
    for (const QByteArray& line : output.split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.value(jsonl::kEvent).toString() != QLatin1String(jsonl::kImageEvent)) {
            continue;
        }
        for (ImageStatus& status : images) {
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

CImageFolderCheck::CImageFolderCheck(QString cliPath, QObject* parent)
    : QObject(parent),
      m_images(UncheckedImages()),
      m_check(std::move(cliPath), timing::kImageCheckLimitMs) {
    m_delay.setSingleShot(true);
    m_delay.setInterval(static_cast<int>(timing::Scaled(timing::kImageCheckDelayMs)));
    connect(&m_delay, &QTimer::timeout, this, &CImageFolderCheck::RunCheck);
    connect(&m_check, &CCheckChild::Answered, this, &CImageFolderCheck::OnAnswered);
    connect(&m_check, &CCheckChild::Failed, this, &CImageFolderCheck::FailAll);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            &CImageFolderCheck::ScheduleCheck);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &CImageFolderCheck::ScheduleCheck);
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
    m_images = UncheckedImages();
    emit Changed();
    QStringList arguments{"--check-images", "--json", "--images", m_folder};
    if (m_requireVerify) {
        arguments << "--require-verify";
    }
    m_check.Run(arguments);
}

void CImageFolderCheck::OnAnswered(const QByteArray& output) {
    ReadImageVerdicts(output, m_images);
    WatchFolder();
    emit Changed();
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
    QStringList paths;
    if (QFileInfo(m_folder).isDir()) {
        paths << m_folder;
        for (const ImageStatus& status : m_images) {
            const QString path = QDir(m_folder).filePath(status.name);
            if (QFileInfo(path).isFile()) {
                paths << path;
            }
        }
    }
    WatchOnly(m_watcher, paths);
}
