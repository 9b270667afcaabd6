#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <optional>

#include "station/CheckChild.h"
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

// dsp.hex, mcu_old.mot and mcu_new.mot, in this order.
using ImageStatuses = std::array<ImageStatus, 3>;

// The three images, named and not checked yet.
ImageStatuses UncheckedImages();

// Reads the image objects of a check's JSON Lines into `images`; an image they do
// not name is Missing.
void ReadImageVerdicts(const QByteArray& output, ImageStatuses& images);

// The images of one folder, as an update would take them: tovrane-cli
// --check-images --json runs as a child whenever the folder, a file in it or the
// verification requirement changes, so the window never reads an image itself.
class CImageFolderCheck : public QObject {
    Q_OBJECT

  public:
    static constexpr int kImageCount = std::tuple_size_v<ImageStatuses>;
    using Statuses = ImageStatuses;

    explicit CImageFolderCheck(QString cliPath, QObject* parent = nullptr);

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
    void OnAnswered(const QByteArray& output);
    void FailAll(const QString& reason);
    void WatchFolder();

    QString m_folder;
    bool m_requireVerify = false;
    Statuses m_images;
    CCheckChild m_check;
    QTimer m_delay;
    QFileSystemWatcher m_watcher;
};
