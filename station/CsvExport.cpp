#include "station/CsvExport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSaveFile>

#include "cli/JsonLines.h"
#include "station/ResultsReader.h"

namespace {

// A field of the stored line, or a member of an object field.
struct Column {
    const char* field;
    const char* member = nullptr;
};

constexpr Column kColumns[] = {
    {jsonl::kRunId},
    {jsonl::kStationTime},
    {jsonl::kSlot},
    {jsonl::kPort},
    {jsonl::kHost},
    {jsonl::kStationId},
    {jsonl::kOperator},
    {jsonl::kWorkOrder},
    {jsonl::kAttempt},
    {jsonl::kStartedBy},
    {jsonl::kOperation},
    {jsonl::kOutcome},
    {jsonl::kDetail},
    {jsonl::kExit},
    {jsonl::kLoader},
    {jsonl::kImage},
    {jsonl::kSha256},
    {jsonl::kBlocksWritten},
    {jsonl::kBlocksTotal},
    {jsonl::kVerified},
    {jsonl::kEraseMs},
    {jsonl::kProgramMs},
    {jsonl::kVersion},
    {jsonl::kDurationMs},
    {jsonl::kTimeMs},
    {jsonl::kToolVersion},
    {jsonl::kBundle, jsonl::kName},
    {jsonl::kBundle, jsonl::kRelease},
    {jsonl::kBundle, jsonl::kManifestSha256},
    {jsonl::kBundle, jsonl::kSigner},
    {jsonl::kSteps},
};

QString ColumnName(const Column& column) {
    const QString field = QString::fromLatin1(column.field);
    return column.member ? field + QLatin1Char('_') + QString::fromLatin1(column.member) : field;
}

QJsonValue ValueOf(const QJsonObject& line, const Column& column) {
    const QJsonValue value = line.value(QLatin1String(column.field));
    return column.member ? value.toObject().value(QLatin1String(column.member)) : value;
}

// Numbers as JSON writes them (counts without a decimal point); arrays and
// objects as compact JSON; null as an empty field.
QString Text(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::Bool:
            return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        case QJsonValue::Double:
            return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
        case QJsonValue::String:
            return value.toString();
        case QJsonValue::Array:
            return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
        case QJsonValue::Object:
            return QString::fromUtf8(
                QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
        case QJsonValue::Null:
        case QJsonValue::Undefined:
            break;
    }
    return {};
}

// RFC 4180: a field with a comma, a quote or a line break is quoted, its quotes doubled.
QByteArray Field(const QString& text) {
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\r') ||
        bytes.contains('\n')) {
        bytes.replace('"', "\"\"");
        bytes.prepend('"');
        bytes.append('"');
    }
    return bytes;
}

QByteArray Record(const QStringList& fields) {
    QByteArrayList quoted;
    for (const QString& field : fields) {
        quoted << Field(field);
    }
    return quoted.join(',') + "\r\n";
}

QString CannotWrite(const QString& path, const QString& reason) {
    return QCoreApplication::translate("CsvExport",
                                       "Cannot write the CSV file %1: %2. Choose another name.")
        .arg(path, reason);
}

bool IsSameFile(const QString& a, const QString& b) {
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

}  // namespace

QStringList CsvColumns() {
    QStringList names;
    for (const Column& column : kColumns) {
        names << ColumnName(column);
    }
    return names;
}

QByteArray CsvHeader() {
    return Record(CsvColumns());
}

QByteArray CsvRecord(const QJsonObject& line) {
    QStringList fields;
    for (const Column& column : kColumns) {
        fields << Text(ValueOf(line, column));
    }
    return Record(fields);
}

CsvExportResult ExportRunsToCsv(const QString& resultsPath, const QString& csvPath,
                                const RunFilter& filter, const std::function<bool()>& stop) {
    CsvExportResult result;
    if (IsSameFile(csvPath, resultsPath)) {
        result.error = QCoreApplication::translate(
                           "CsvExport", "The CSV file %1 is the results file. Choose another name.")
                           .arg(csvPath);
        return result;
    }
    QSaveFile csv(csvPath);
    if (!csv.open(QIODevice::WriteOnly)) {
        result.error = CannotWrite(csvPath, csv.errorString());
        return result;
    }
    csv.write(CsvHeader());
    const ResultsReadTally tally = ReadResultLines(
        resultsPath, {},
        [&](const QJsonObject& line) {
            const std::optional<StoredRun> run = StoredRunOf(line);
            if (run && filter.Admits(*run)) {
                csv.write(CsvRecord(line));
                ++result.rows;
            }
            return run.has_value();
        },
        stop);
    result.unreadable = tally.unreadable + (tally.tornTail ? 1 : 0);
    result.stopped = tally.stopped;
    result.error = tally.error;
    if (result.stopped || !result.error.isEmpty()) {
        csv.cancelWriting();
    } else if (!csv.commit()) {
        result.error = CannotWrite(csvPath, csv.errorString());
    }
    return result;
}
