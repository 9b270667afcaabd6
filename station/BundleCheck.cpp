#include "station/BundleCheck.h"

#include <sys/stat.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <utility>

#include "cli/JsonLines.h"
#include "link/Timeouts.h"
#include "station/WatchPaths.h"

namespace {

// A folder bundle holds a handful of files; beyond this many entries, the rest are
// not watched (a change there is still seen by the run, which checks again).
constexpr int kMaxWatchedEntries = 64;

// Which file the path names and how it was last written: a file replaced by rename
// or rewritten in place gives another fingerprint; empty when there is none.
QByteArray Fingerprint(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return {};
    }
    const qint64 values[] = {static_cast<qint64>(info.st_dev),
                             static_cast<qint64>(info.st_ino),
                             static_cast<qint64>(info.st_size),
                             info.st_mtim.tv_sec,
                             info.st_mtim.tv_nsec,
                             info.st_ctim.tv_sec,
                             info.st_ctim.tv_nsec};
    return {reinterpret_cast<const char*>(values), sizeof(values)};
}

// The entries of a folder bundle, and of the folders in it (the bundle may sit in one
// top-level folder); links are not followed.
QStringList EntriesOf(const QString& folder) {
    QStringList entries;
    QStringList folders{folder};
    for (int depth = 0; depth < 2 && !folders.isEmpty(); ++depth) {
        QStringList next;
        for (const QString& parent : std::exchange(folders, {})) {
            QDirIterator entry(parent, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                           QDir::System | QDir::NoSymLinks);
            while (entry.hasNext() && entries.size() < kMaxWatchedEntries) {
                const QString path = entry.next();
                entries << path;
                if (entry.fileInfo().isDir()) {
                    next << path;
                }
            }
        }
        folders = next;
    }
    return entries;
}

QString TextOf(const QJsonValue& value) {
    return value.isString() ? value.toString() : QString();
}

}  // namespace

CBundleCheck::CBundleCheck(QString cliPath, QObject* parent)
    : QObject(parent), m_check(std::move(cliPath), timing::kBundleCheckLimitMs) {
    m_delay.setSingleShot(true);
    m_delay.setInterval(static_cast<int>(timing::Scaled(timing::kBundleCheckDelayMs)));
    connect(&m_delay, &QTimer::timeout, this, &CBundleCheck::RunCheck);
    connect(&m_check, &CCheckChild::Answered, this, &CBundleCheck::OnAnswered);
    connect(&m_check, &CCheckChild::Failed, this, &CBundleCheck::Refuse);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &CBundleCheck::ScheduleCheck);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            &CBundleCheck::OnFolderChanged);
}

void CBundleCheck::SetBundle(const QString& path) {
    m_path = path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (Open()) {
        RunCheck();
        return;
    }
    m_check.Cancel();
    m_delay.stop();
    WatchOnly(m_watcher, {});
    m_status = {};
    emit Changed();
}

void CBundleCheck::SetAllowedSigners(const QString& path) {
    m_allowedSigners = path;
    if (Open()) {
        RunCheck();
    }
}

QString CBundleCheck::Blocker() const {
    switch (m_status.state) {
        case BundleStatus::State::Checking:
            return tr("The bundle is still being checked.");
        case BundleStatus::State::Refused:
            return tr("The bundle is refused: %1").arg(m_status.reason);
        case BundleStatus::State::Accepted:
            break;
    }
    return {};
}

// No run starts from the moment a change is seen until the bundle is checked again.
void CBundleCheck::ScheduleCheck() {
    if (!Checking()) {
        m_status = {};
        emit Changed();
    }
    m_delay.start();
}

// The bundle's own folder tells of every entry that comes and goes in it, which
// matters only where it is the bundle; the folder holding the bundle also tells of
// files beside it, such as the private copies of runs in /tmp.
void CBundleCheck::OnFolderChanged(const QString& folder) {
    const bool besideTheBundle = folder != m_path && !folder.startsWith(m_path + QLatin1Char('/'));
    if (!besideTheBundle || Fingerprint(m_path) != m_fingerprint) {
        ScheduleCheck();
    }
}

void CBundleCheck::RunCheck() {
    m_delay.stop();
    m_fingerprint = Fingerprint(m_path);
    m_status = {};
    Watch();
    emit Changed();
    QStringList arguments{"--check-bundle", m_path, "--json"};
    if (!m_allowedSigners.isEmpty()) {
        arguments << "--allowed-signers" << m_allowedSigners;
    }
    m_check.Run(arguments);
}

void CBundleCheck::OnAnswered(const QByteArray& output) {
    ReadImageVerdicts(output, m_status.images);
    QJsonObject verdict;
    for (const QByteArray& line : output.split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.value(jsonl::kEvent).toString() == QLatin1String(jsonl::kBundleEvent)) {
            verdict = object;
        }
    }
    if (verdict.isEmpty()) {
        Refuse(tr("tovrane-cli --check-bundle gave no verdict on the bundle"));
        return;
    }
    m_status.name = TextOf(verdict.value(jsonl::kName));
    m_status.release = TextOf(verdict.value(jsonl::kRelease));
    m_status.signer = TextOf(verdict.value(jsonl::kSigner));
    for (const QJsonValue step : verdict.value(jsonl::kSteps).toArray()) {
        m_status.steps << step.toString();
    }
    m_status.reason = TextOf(verdict.value(jsonl::kReason));
    m_status.state = verdict.value(jsonl::kAccepted).toBool() ? BundleStatus::State::Accepted
                                                              : BundleStatus::State::Refused;
    emit Changed();
}

void CBundleCheck::Refuse(const QString& reason) {
    m_status.state = BundleStatus::State::Refused;
    m_status.reason = reason;
    for (ImageStatus& image : m_status.images) {
        if (image.state == ImageStatus::State::Checking) {
            image.state = ImageStatus::State::Refused;
            image.reason = reason;
        }
    }
    emit Changed();
}

// The bundle and the folder it is in (a file replaced by rename is a new file, which
// a watch on the old one never hears of), what a folder bundle holds, and the trust file.
void CBundleCheck::Watch() {
    QStringList paths{m_path, QFileInfo(m_path).absolutePath()};
    if (!m_allowedSigners.isEmpty()) {
        paths << m_allowedSigners;
    }
    const QFileInfo bundle(m_path);
    if (bundle.isDir() && !bundle.isSymLink()) {
        paths << EntriesOf(m_path);
    }
    WatchOnly(m_watcher, paths);
}
