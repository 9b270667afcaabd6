#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QThread;

// Where results go unless the operator chose another file:
// ~/.local/share/tovrane/results.jsonl.
QString DefaultResultsFile();

// Makes sure `path` can take results: its folder is made and the file opens for
// appending. Empty when it can, else the reason in the operator's words.
QString CheckResultsFile(const QString& path);

// Appends `line` and a line end with one write and flushes it to disk (a new
// file's folder entry too). Empty on success, else the reason.
QString AppendResultLine(const QString& path, const QByteArray& line);

// Appends results on a thread of its own, so a slow disk never stalls the window.
// Lines are written in the order they were handed over; Appended follows each.
class CResultsWriter : public QObject {
    Q_OBJECT

  public:
    explicit CResultsWriter(QObject* parent = nullptr);
    ~CResultsWriter() override;

    void Append(quint64 ticket, const QString& path, const QByteArray& line);

  signals:
    // `error` is empty when the line is on disk.
    void Appended(quint64 ticket, const QString& error);

  private:
    QThread* m_thread;
    QObject* m_worker;  // lives on m_thread
};
