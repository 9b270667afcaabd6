#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <vector>

class QThread;

// The system journal's copy of the results: one structured entry per stored line,
// sent through libsystemd once the line is on disk (the results file stays the record
// of truth). The entry's fields are the line's own names, upper-cased under TOVRANE_.
// Entries are sent in order on a thread of their own, so a journal that is slow to
// take them holds up neither the window nor the results file.
class CResultJournal : public QObject {
    Q_OBJECT

  public:
    // Every entry's MESSAGE_ID, for `journalctl MESSAGE_ID=...`.
    static constexpr char kMessageId[] = "e7fc5491b1ad4edaa6108fccc23e9834";

    explicit CResultJournal(QObject* parent = nullptr);
    ~CResultJournal() override;

    // Queues the entry of one stored line; `passed` gives its priority.
    void Send(const QJsonObject& line, bool passed);

    // The entry's fields as sent, each FIELD=value.
    static std::vector<QByteArray> Fields(const QJsonObject& line, bool passed);

    // "slot 1-2.3: finished, MCU 321 blocks, verified, 27.8 s"; a bundle's run names
    // its release instead of the operation.
    static QString Message(const QJsonObject& line);

  signals:
    // An entry did not reach the journal: there is none here, it refused the entry,
    // or too many entries were waiting for it.
    void Missed(const QString& why);

  private:
    QThread* m_thread;
    QObject* m_worker;                            // lives on m_thread
    std::shared_ptr<std::atomic<int>> m_waiting;  // entries handed over and not yet sent
};
