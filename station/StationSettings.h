#pragma once

#include <QByteArray>
#include <QString>

#include "station/AutoStartMode.h"
#include "station/Operation.h"

class QSettings;

// What the station remembers between uses.
struct StationSettings {
    QString imagesFolder;
    QString bundle;  // the release bundle open when the station was last used; empty: none
    Operation operation = Operation::UpdateMcu;
    bool requireVerify = false;
    QString resultsFile;
    bool autoStart = false;
    QString operatorName;
    QString workOrder;
    bool journal = true;  // each stored result also goes to the system journal
    AutoStartMode autoStartMode = AutoStartMode::Plug;
    QByteArray geometry;
};

// Reads the remembered values; `defaults` stands for what was never stored.
StationSettings LoadStationSettings(QSettings& settings, const StationSettings& defaults);
void SaveStationSettings(QSettings& settings, const StationSettings& values);
