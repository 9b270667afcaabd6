#pragma once

#include <QDialog>
#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QTimer>

#include "station/CsvExport.h"
#include "station/YieldModels.h"
#include "station/YieldSource.h"

class CStation;
class CYieldChart;
class QComboBox;
class QLabel;
class QPushButton;

// "Yield at a glance": the station's results file counted per slot for a period
// and a work order, with the flag for a bad slot, the failures by outcome, a bar
// chart and the CSV export. It follows the file as runs are appended.
class CYieldDialog : public QDialog {
    Q_OBJECT

  public:
    enum class Period { SinceStationStart, Today, Last8Hours, All };

    explicit CYieldDialog(CStation& station, QWidget* parent = nullptr);
    ~CYieldDialog() override;

    // Reads the station's results file again from its start.
    void Refresh();
    const CSlotYieldModel& SlotsModel() const { return m_slots; }

  private:
    QWidget* MakeChoosers();
    QWidget* MakeTables();
    RunFilter Filter() const;
    // Takes in what was appended and counts for the chosen period and work order.
    void Recount();
    void FollowResultsFile();
    void Show(const YieldReport& report);
    void ShowSummary(const YieldReport& report);
    void ShowWorkOrders(const QStringList& workOrders);
    void ExportCsv();
    void ShowExported(const QString& path);

    CStation& m_station;
    CYieldSource m_source;
    QFileSystemWatcher m_watcher;
    QTimer m_changeDelay;
    QString m_watchedPath;
    CSlotYieldModel m_slots;
    CFailureParetoModel m_failures;
    QComboBox* m_period = nullptr;
    QComboBox* m_workOrder = nullptr;
    QLabel* m_summary = nullptr;
    QLabel* m_unreadable = nullptr;
    QLabel* m_reading = nullptr;   // while a read goes on, or why it failed
    QLabel* m_exported = nullptr;  // what the last CSV export did
    CYieldChart* m_chart = nullptr;
    QPushButton* m_export = nullptr;
    QFutureWatcher<CsvExportResult> m_exporting;
    QString m_exportPath;
};
