#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "station/CheckChild.h"
#include "station/ImageFolderCheck.h"

// What tovrane-cli --check-bundle says of a release bundle.
struct BundleStatus {
    enum class State { Checking, Accepted, Refused };

    State state = State::Checking;
    QString name;
    QString release;
    QString signer;     // the principal whose key signed it; empty when not checked
    QStringList steps;  // "dsp", "mcu", "version", in the order they run
    QString reason;     // why it is refused
    ImageStatuses images = UncheckedImages();  // Missing where the manifest names none
};

// The release bundle the station runs. The station never reads a bundle itself:
// tovrane-cli --check-bundle --json runs as a child whenever the bundle, the trust
// file or what is in them changes, and each slot's run is tovrane-cli --bundle,
// which checks its own private copy again.
class CBundleCheck : public QObject {
    Q_OBJECT

  public:
    explicit CBundleCheck(QString cliPath, QObject* parent = nullptr);

    // Opens the bundle at `path` (a folder or a tar archive); empty closes it.
    void SetBundle(const QString& path);
    const QString& Bundle() const { return m_path; }
    bool Open() const { return !m_path.isEmpty(); }
    // The trust file given to every check and run; empty: tovrane-cli's default.
    void SetAllowedSigners(const QString& path);
    const QString& AllowedSigners() const { return m_allowedSigners; }

    const BundleStatus& Status() const { return m_status; }
    bool Checking() const { return m_status.state == BundleStatus::State::Checking; }
    // Why no run of the bundle can start; empty when runs can start.
    QString Blocker() const;

  signals:
    void Changed();

  private:
    void ScheduleCheck();
    void OnFolderChanged(const QString& folder);
    void RunCheck();
    void OnAnswered(const QByteArray& output);
    void Refuse(const QString& reason);
    void Watch();

    QString m_path;
    QString m_allowedSigners;
    BundleStatus m_status;
    QByteArray m_fingerprint;  // of the bundle's path when it was last checked
    CCheckChild m_check;
    QTimer m_delay;
    QFileSystemWatcher m_watcher;
};
