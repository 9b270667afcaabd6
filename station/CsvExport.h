#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "station/StoredRun.h"

// The columns of the CSV export: the stored fields by their JSON names, a
// bundle's object spread over bundle_name, bundle_release, ...
QStringList CsvColumns();

// The header, then one run, as CSV records (RFC 4180: quoted where needed, CRLF).
QByteArray CsvHeader();
QByteArray CsvRecord(const QJsonObject& line);

struct CsvExportResult {
    int rows = 0;
    int unreadable = 0;  // lines of the results file that could not be read
    bool stopped = false;
    QString error;  // why nothing was written; empty otherwise
};

// Writes one row per run of the results file that `filter` admits, in the order
// they were stored. The CSV file appears whole or not at all: it is written under
// a temporary name and renamed. `stop` ends it early, writing nothing.
CsvExportResult ExportRunsToCsv(const QString& resultsPath, const QString& csvPath,
                                const RunFilter& filter, const std::function<bool()>& stop = {});
