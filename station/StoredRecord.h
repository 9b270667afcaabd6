#pragma once

#include <QJsonObject>
#include <QString>

// Who ran a slot's run and for what; taken when the run starts.
struct RecordContext {
    QString operatorName;
    QString workOrder;
    int attempt = 0;    // the run's number among the slot's runs since its device arrived
    QString startedBy;  // jsonl::kStartedByOperator, kStartedByPlug or kStartedByAnswer
};

// The results-file line of a run: its result object with the slot, the station's
// time, host and id, and the run's context (an empty operator or work order as null).
QJsonObject StoredRecord(QJsonObject result, const QString& slotId, const RecordContext& context);

// The station's id: /etc/machine-id, else the host name; read once.
QString StationId();

// The id in `machineIdFile` (32 hex digits), else the host name.
QString ReadStationId(const QString& machineIdFile);
