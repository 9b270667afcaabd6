#pragma once

#include <QMainWindow>
#include <QTimer>

#include "station/ImageFolderCheck.h"
#include "station/RunsEnding.h"
#include "station/StationSettings.h"

class CBundleBox;
class COperatorFields;
class CStation;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QSettings;
class QTableView;

// The many-device window: the images row, the operation, the slots table with
// each slot's progress and result, and the counters. Everything it shows comes
// from the station; what the operator chooses is remembered in the settings.
class CStationWindow : public QMainWindow {
    Q_OBJECT

  public:
    // `remembered` holds what the operator chose before; values the command line
    // gave for this session only are already set in the station.
    CStationWindow(CStation& station, QSettings& settings, StationSettings remembered,
                   QWidget* parent = nullptr);

    // A locked work order cannot be changed in the window; the operator's name still can.
    void SetWorkOrderLocked(bool locked);
    // A locked window keeps the bundle, the operation, the results file and the work
    // order as the command line gave them, and says so.
    void SetLocked(bool locked);
    // Opens the log of the slot in `row`.
    void OpenLog(int row);
    // Opens the yield view, or brings it up to date and to the front.
    void OpenYield();
    QTableView* Table() const { return m_table; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* MakeImagesBox();
    QWidget* MakeBundleBox();
    QWidget* MakeOperationBox();
    QWidget* MakeResultsRow();
    QWidget* MakeOperatorFields();
    QWidget* MakeTable();
    void SizeColumns();
    QWidget* MakeButtons();
    QWidget* MakeCounters();
    void ShowImages();
    void ShowOperationSource();
    void ShowCounters();
    void ShowNotice(const QString& text);
    void UpdateButtons();
    QList<int> SelectedRows() const;
    void ChooseImagesFolder();
    void ChooseBundle();
    void SetBundle(const QString& path);
    void ChooseResultsFile();
    void StartSelected();
    void StopSelected();
    void RemoveSelected();
    void Remember();
    void FinishClosing();

    CStation& m_station;
    QSettings& m_settings;
    StationSettings m_remembered;
    QWidget* m_imagesBox = nullptr;
    CBundleBox* m_bundleBox = nullptr;
    QLabel* m_folder = nullptr;
    QLabel* m_imageLines[CImageFolderCheck::kImageCount] = {};
    QLabel* m_operationBlocker = nullptr;
    QButtonGroup* m_operations = nullptr;
    QAbstractButton* m_bundleOperation = nullptr;
    QCheckBox* m_requireVerify = nullptr;
    QLabel* m_resultsFile = nullptr;
    QPushButton* m_chooseResults = nullptr;
    COperatorFields* m_operatorFields = nullptr;
    QLabel* m_notice = nullptr;
    QTableView* m_table = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_startAll = nullptr;
    QPushButton* m_stopAll = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_log = nullptr;
    QLabel* m_counters = nullptr;
    bool m_closing = false;
    bool m_locked = false;
    CRunsEnding m_ending;
};
