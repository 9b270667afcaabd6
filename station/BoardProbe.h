#pragma once

#include <termios.h>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

#include "SerialLib/PortInfo/PortStateProbe.h"
#include "SerialLib/Serial/posix/UniqueFd.h"

class QSocketNotifier;

// The version text in a reply line (the bytes before its CR), or none when the
// line is no version: shorter than a version, or not printable text (noise).
std::optional<QString> VersionInReply(const QByteArray& line);

// Fixture mode's watch on one slot's port: it holds the port open, exclusively and
// raw at 2400 baud, for as long as it lives (opening again would toggle DTR, which
// resets some boards), and asks for the version about once a second, with a short
// reply time-out. It only ever sends the version query. A port that would not open
// is tried again every few seconds. Everything runs on the event loop (a socket
// notifier and timers), so waiting costs no CPU.
class CBoardProbe : public QObject {
    Q_OBJECT

  public:
    explicit CBoardProbe(QString path, QObject* parent = nullptr);
    // Puts the line back as it was and lets the port go.
    ~CBoardProbe() override;

    // Opens the port and sends the first query.
    void Start();
    // Lets the port go at once and probes no more; the object may then be deleted
    // later, also from inside one of its own signals.
    void Stop();
    const QString& Path() const { return m_path; }
    bool Holding() const { return m_fd.Valid(); }

  signals:
    // The port opened (usable), or would not open or went away; only changes are told.
    void PortStateChanged(const PortAvailability& availability);
    // One signal per query: a version came back, or nothing that is one.
    void Answered(const QString& version);
    void Unanswered();

  private:
    void TryOpen();
    void SendQuery();
    void OnReadable();
    void Take(const char* bytes, size_t count);
    void EndQuery(const std::optional<QString>& version);
    void Release();
    void Lost(int error);
    void Tell(const PortAvailability& availability);

    QString m_path;
    UniqueFd m_fd;
    termios m_saved{};
    QSocketNotifier* m_notifier = nullptr;  // a child, while the port is held
    QTimer m_queryTimer;
    QTimer m_replyTimer;
    QTimer m_openRetry;
    QByteArray m_reply;  // the reply so far, bounded like the engine's
    bool m_awaiting = false;
    bool m_tooLong = false;
    std::optional<PortState> m_told;
};
