#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <optional>

// One tovrane-cli check (--check-images, --check-bundle) as a child process, bounded
// in time and in what it may write. A newer check ends the one under way, whose
// answer would be stale, and starts once it has ended.
class CCheckChild : public QObject {
    Q_OBJECT

  public:
    CCheckChild(QString cliPath, uint32_t limitMs, QObject* parent = nullptr);
    ~CCheckChild() override;

    void Run(const QStringList& arguments);
    // Ends the check under way without an answer.
    void Cancel();

  signals:
    // The child's standard output, when it ended by itself.
    void Answered(const QByteArray& output);
    // Why there is no answer, in words.
    void Failed(const QString& reason);

  private:
    void Start(const QStringList& arguments);
    void OnOutput();
    void OnFinished(int exitCode, QProcess::ExitStatus status);
    void OnTimeLimit();
    void Abandon(const QString& reason);
    QString Command() const;

    QString m_cliPath;
    uint32_t m_limitMs;
    QProcess m_process;
    QTimer m_timeLimit;
    QByteArray m_output;
    QStringList m_arguments;            // of the check under way
    std::optional<QStringList> m_next;  // to run once the check under way has ended
    bool m_abandoned = false;           // the check under way gives no answer
};
