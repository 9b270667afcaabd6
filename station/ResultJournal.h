#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <vector>

// The system journal's copy of the results: one structured entry per stored line,
// sent through libsystemd once the line is on disk (the results file stays the record
// of truth). The entry's fields are the line's own names, upper-cased under TOVRANE_.
class CResultJournal {
  public:
    // Every entry's MESSAGE_ID, for `journalctl MESSAGE_ID=...`.
    static constexpr char kMessageId[] = "e7fc5491b1ad4edaa6108fccc23e9834";

    // Sends the entry of one stored line. Empty when the journal took it, else why
    // results go to the file only (no journal here, or it refused). Any thread; it
    // may wait for a busy journal, so not on the window's.
    static QString Send(const QJsonObject& line, bool passed);

    // The entry's fields as sent, each FIELD=value.
    static std::vector<QByteArray> Fields(const QJsonObject& line, bool passed);

    // "slot 1-2.3: finished, MCU 321 blocks, verified, 27.8 s"; a bundle's run names
    // its release instead of the operation.
    static QString Message(const QJsonObject& line);
};
