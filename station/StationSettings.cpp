#include "station/StationSettings.h"

#include <QSettings>

namespace {

constexpr char kImages[] = "images";
constexpr char kBundle[] = "bundle";
constexpr char kOperation[] = "operation";
constexpr char kRequireVerify[] = "requireVerify";
constexpr char kResults[] = "results";
constexpr char kAutoStart[] = "autoStart";
constexpr char kAutoStartMode[] = "autoStartMode";
constexpr char kGeometry[] = "geometry";
constexpr char kOperator[] = "operator";
constexpr char kWorkOrder[] = "workOrder";
constexpr char kJournal[] = "journal";

}  // namespace

StationSettings LoadStationSettings(QSettings& settings, const StationSettings& defaults) {
    StationSettings values;
    values.imagesFolder = settings.value(kImages, defaults.imagesFolder).toString();
    values.bundle = settings.value(kBundle, defaults.bundle).toString();
    values.operation =
        OperationFromName(settings.value(kOperation).toString()).value_or(defaults.operation);
    values.requireVerify = settings.value(kRequireVerify, defaults.requireVerify).toBool();
    values.resultsFile = settings.value(kResults, defaults.resultsFile).toString();
    values.autoStart = settings.value(kAutoStart, defaults.autoStart).toBool();
    values.autoStartMode = AutoStartModeFromName(settings.value(kAutoStartMode).toString())
                               .value_or(defaults.autoStartMode);
    values.geometry = settings.value(kGeometry, defaults.geometry).toByteArray();
    values.operatorName = settings.value(kOperator, defaults.operatorName).toString();
    values.workOrder = settings.value(kWorkOrder, defaults.workOrder).toString();
    values.journal = settings.value(kJournal, defaults.journal).toBool();
    return values;
}

void SaveStationSettings(QSettings& settings, const StationSettings& values) {
    settings.setValue(kImages, values.imagesFolder);
    settings.setValue(kBundle, values.bundle);
    settings.setValue(kOperation, OperationName(values.operation));
    settings.setValue(kRequireVerify, values.requireVerify);
    settings.setValue(kResults, values.resultsFile);
    settings.setValue(kAutoStart, values.autoStart);
    settings.setValue(kAutoStartMode, AutoStartModeName(values.autoStartMode));
    settings.setValue(kGeometry, values.geometry);
    settings.setValue(kOperator, values.operatorName);
    settings.setValue(kWorkOrder, values.workOrder);
    settings.setValue(kJournal, values.journal);
}
