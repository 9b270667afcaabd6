#include "station/StoredRecord.h"

#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QJsonValue>
#include <QRegularExpression>
#include <QSysInfo>

#include "cli/JsonLines.h"
#include "update/RegularFile.h"

namespace {

// A machine id is 32 hex digits and a line end; more than this is not one.
constexpr qint64 kMachineIdMaxBytes = 64;

QJsonValue TextOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

}  // namespace

QJsonObject StoredRecord(QJsonObject result, const QString& slotId, const RecordContext& context) {
    result.insert(jsonl::kSlot, slotId);
    result.insert(jsonl::kStationTime, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    result.insert(jsonl::kHost, QSysInfo::machineHostName());
    result.insert(jsonl::kStationId, StationId());
    result.insert(jsonl::kOperator, TextOrNull(context.operatorName));
    result.insert(jsonl::kWorkOrder, TextOrNull(context.workOrder));
    result.insert(jsonl::kAttempt, context.attempt);
    result.insert(jsonl::kStartedBy, context.startedBy);
    return result;
}

QString StationId() {
    static const QString id = ReadStationId(QStringLiteral("/etc/machine-id"));
    return id;
}

QString ReadStationId(const QString& machineIdFile) {
    const int fd = OpenRegularFile(QFile::encodeName(machineIdFile).toStdString());
    if (fd < 0) {
        return QSysInfo::machineHostName();
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return QSysInfo::machineHostName();
    }
    const QString text = QString::fromLatin1(file.read(kMachineIdMaxBytes)).trimmed();
    static const QRegularExpression machineId(QStringLiteral("^[0-9a-f]{32}$"));
    return machineId.match(text).hasMatch() ? text : QSysInfo::machineHostName();
}
