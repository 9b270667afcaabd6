#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <array>
#include <optional>

#include "station/Operation.h"

// What tovrane-cli --check-images says of one image file.
struct ImageStatus {
    enum class State { Checking, Missing, Accepted, Refused };

    QString name;  // dsp.hex, mcu_old.mot, mcu_new.mot
    State state = State::Checking;
    std::optional<qint64> blocks;
    std::optional<bool> checkpoint;
    QString sha256;
    QString reason;  // why it is refused
};

// The images of one folder, as an update would take them: tovrane-cli
// --check-images --json runs as a child whenever the folder, a file in it or the
// verification requirement changes, so the window never reads an image itself.
class CImageFolderCheck : public QObject {
    Q_OBJECT

  public:
    static constexpr int kImageCount = 3;
    using Statuses = std::array<ImageStatus, kImageCount>;

    explicit CImageFolderCheck(QString cliPath, QObject* parent = nullptr);
    ~CImageFolderCheck() override;

    void SetFolder(const QString& folder);
    const QString& Folder() const { return m_folder; }
    void SetRequireVerify(bool required);

    const Statuses& Images() const { return m_images; }
    bool Checking() const;
    // Why `operation` cannot start with these images; empty when it can.
    QString BlockerFor(Operation operation) const;

  signals:
    void Changed();

  private:
    void ScheduleCheck();
    void RunCheck();
    void OnFinished(int exitCode, QProcess::ExitStatus status);
    void OnTimeLimit();
    void ReadResults(const QByteArray& output);
    void FailAll(const QString& reason);
    void WatchFolder();

    QString m_cliPath;
    QString m_folder;
    bool m_requireVerify = false;
    bool m_rerun = false;  // the check under way was ended for a newer one
    Statuses m_images;
    QProcess m_process;
    QTimer m_delay;
    QTimer m_timeLimit;
    QFileSystemWatcher m_watcher;
};
