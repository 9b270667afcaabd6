#pragma once

#include <QJsonObject>
#include <QString>
#include <functional>

// The longest results line that is read; a longer one counts as unreadable. A
// stored run is well under a kilobyte, a bundle's with its steps a few.
inline constexpr qint64 kMaxResultLineBytes = 256 * 1024;

// Which file a read went through and how far, so the next read takes only what
// was appended since.
struct ResultsFilePosition {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 offset = 0;  // just after the last whole line read
};

struct ResultsReadTally {
    ResultsFilePosition end;
    bool fromStart = true;  // the read began at the file's start (another or a shorter file)
    int objects = 0;        // lines taken
    int unreadable = 0;     // whole lines not taken: not JSON, not a run, too long
    bool tornTail = false;  // the file ends inside a line, as after a cut append
    bool stopped = false;   // `stop` said so before the end
    QString error;          // why the file could not be read; empty otherwise
};

// Reads the results file line by line, from `from` when it is the same file and
// not shorter, else from its start. Each line that is a JSON object goes to
// `take`, which says whether it is a run; other lines, and objects it refuses,
// count as unreadable; blank lines are skipped. The file is only read: a torn
// last line stays as it is and is read again next time. `stop` is asked now and
// then and ends the read early.
ResultsReadTally ReadResultLines(const QString& path, const ResultsFilePosition& from,
                                 const std::function<bool(const QJsonObject&)>& take,
                                 const std::function<bool()>& stop = {});
