#include "station/ResultJournal.h"

#define SD_JOURNAL_SUPPRESS_LOCATION
#include <sys/stat.h>
#include <sys/uio.h>
#include <systemd/sd-journal.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QThread>
#include <cstring>

#include "cli/JsonLines.h"
#include "link/Timeouts.h"

namespace {

// Where journald listens; without it libsystemd drops entries without a word.
constexpr char kJournalSocket[] = "/run/systemd/journal/socket";
constexpr char kIdentifier[] = "tovrane-station";
constexpr int kPriorityPassed = 6;  // LOG_INFO
constexpr int kPriorityFailed = 4;  // LOG_WARNING

// Entries waiting beyond this are dropped rather than held: the file has them.
constexpr int kMaxWaitingEntries = 256;

// The fields copied from the line as they stand.
constexpr const char* kCopiedNames[] = {jsonl::kRunId,     jsonl::kSlot,     jsonl::kOutcome,
                                        jsonl::kOperation, jsonl::kOperator, jsonl::kWorkOrder,
                                        jsonl::kAttempt};

// "run_id" -> "TOVRANE_RUN_ID".
QByteArray FieldName(const char* jsonName) {
    return "TOVRANE_" + QByteArray(jsonName).toUpper();
}

// A value as its field's text; empty for null, a missing value, an object or an array.
QByteArray FieldText(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::String:
            return value.toString().toUtf8();
        case QJsonValue::Double:
            return QByteArray::number(value.toInteger());
        case QJsonValue::Bool:
            return value.toBool() ? "true" : "false";
        default:
            return {};
    }
}

void Add(std::vector<QByteArray>& fields, const QByteArray& name, const QByteArray& text) {
    if (!text.isEmpty()) {
        fields.push_back(name + '=' + text);
    }
}

// One field per image: the run's own, or each step's of a bundle.
void AddImageDigests(std::vector<QByteArray>& fields, const QJsonObject& line) {
    const QByteArray name = FieldName(jsonl::kSha256);
    Add(fields, name, FieldText(line.value(jsonl::kSha256)));
    for (const QJsonValue step : line.value(jsonl::kSteps).toArray()) {
        Add(fields, name, FieldText(step.toObject().value(jsonl::kSha256)));
    }
}

QString Release(const QJsonObject& line) {
    return line.value(jsonl::kBundle).toObject().value(jsonl::kRelease).toString();
}

// "MCU 321 blocks", "DSP 199 of 321 blocks", "version TOVRANE V1.00", "release 2.4".
QString Subject(const QJsonObject& line) {
    const QString release = Release(line);
    if (!release.isEmpty()) {
        return QStringLiteral("release ") + release;
    }
    const QString operation = line.value(jsonl::kOperation).toString();
    if (operation == QLatin1String(jsonl::kOperationVersion)) {
        const QString version = line.value(jsonl::kVersion).toString();
        return version.isEmpty() ? operation : operation + ' ' + version;
    }
    QString subject = operation.toUpper();
    const qint64 total = line.value(jsonl::kBlocksTotal).toInteger();
    const qint64 written = line.value(jsonl::kBlocksWritten).toInteger();
    if (total > 0) {
        subject += written == total ? QStringLiteral(" %1 blocks").arg(total)
                                    : QStringLiteral(" %1 of %2 blocks").arg(written).arg(total);
    }
    return subject;
}

bool JournalSocketExists() {
    struct stat socket {};
    return ::stat(kJournalSocket, &socket) == 0 && S_ISSOCK(socket.st_mode);
}

// Sends one entry; empty when the journal took it, else why it did not.
QString SendEntry(const QJsonObject& line, bool passed) {
    const std::vector<QByteArray> fields = CResultJournal::Fields(line, passed);
    std::vector<iovec> entry;
    entry.reserve(fields.size());
    for (const QByteArray& field : fields) {
        entry.push_back({const_cast<char*>(field.constData()), static_cast<size_t>(field.size())});
    }
    const int error = sd_journal_sendv(entry.data(), static_cast<int>(entry.size()));
    if (error < 0) {
        return QCoreApplication::translate(
                   "ResultJournal",
                   "The system journal did not take a result (%1): results go to the results "
                   "file only.")
            .arg(QString::fromLocal8Bit(std::strerror(-error)));
    }
    return {};
}

}  // namespace

QString CResultJournal::Message(const QJsonObject& line) {
    QStringList parts{line.value(jsonl::kOutcome).toString(), Subject(line)};
    if (line.value(jsonl::kBlocksTotal).toInteger() > 0 && line.value(jsonl::kVerified).isBool()) {
        parts << (line.value(jsonl::kVerified).toBool() ? QStringLiteral("verified")
                                                        : QStringLiteral("not verified"));
    }
    if (line.value(jsonl::kDurationMs).isDouble()) {
        parts << QStringLiteral("%1 s").arg(
            static_cast<double>(line.value(jsonl::kDurationMs).toInteger()) / 1000, 0, 'f', 1);
    }
    const QString detail = line.value(jsonl::kDetail).toString();
    if (!detail.isEmpty()) {
        parts << detail;
    }
    parts.removeAll(QString());
    return QStringLiteral("slot %1: %2")
        .arg(line.value(jsonl::kSlot).toString(), parts.join(QStringLiteral(", ")));
}

std::vector<QByteArray> CResultJournal::Fields(const QJsonObject& line, bool passed) {
    std::vector<QByteArray> fields{
        QByteArray("MESSAGE_ID=") + kMessageId,
        "MESSAGE=" + Message(line).toUtf8(),
        "PRIORITY=" + QByteArray::number(passed ? kPriorityPassed : kPriorityFailed),
        QByteArray("SYSLOG_IDENTIFIER=") + kIdentifier,
    };
    for (const char* name : kCopiedNames) {
        Add(fields, FieldName(name), FieldText(line.value(name)));
    }
    AddImageDigests(fields, line);
    Add(fields, FieldName(jsonl::kRelease), Release(line).toUtf8());
    Add(fields, FieldName(jsonl::kResultEvent), QJsonDocument(line).toJson(QJsonDocument::Compact));
    return fields;
}

CResultJournal::CResultJournal(QObject* parent)
    : QObject(parent),
      m_thread(new QThread),
      m_worker(new QObject),
      m_waiting(std::make_shared<std::atomic<int>>(0)) {
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

// Entries handed over are sent before the thread ends. A journal that does not take
// them within the bound is left to the end of the process.
CResultJournal::~CResultJournal() {
    QMetaObject::invokeMethod(m_worker, [thread = m_thread] { thread->quit(); });
    if (m_thread->wait(static_cast<unsigned long>(timing::Scaled(timing::kStationCloseWaitMs)))) {
        delete m_thread;
    }
}

void CResultJournal::Send(const QJsonObject& line, bool passed) {
    if (!JournalSocketExists()) {
        emit Missed(QCoreApplication::translate(
            "ResultJournal",
            "There is no system journal here: results go to the results file only."));
        return;
    }
    if (*m_waiting >= kMaxWaitingEntries) {
        emit Missed(QCoreApplication::translate(
            "ResultJournal",
            "The system journal is not taking results: they go to the results file only."));
        return;
    }
    ++*m_waiting;
    // The worker may outlive this object when the journal hangs: it holds only its
    // own share of the count and a guarded pointer.
    QMetaObject::invokeMethod(m_worker, [waiting = m_waiting, self = QPointer(this), line, passed] {
        const QString missed = SendEntry(line, passed);
        --*waiting;
        if (!missed.isEmpty()) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, missed] {
                    if (self) {
                        emit self->Missed(missed);
                    }
                },
                Qt::QueuedConnection);
        }
    });
}
