#include "station/StationWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTableView>
#include <QVBoxLayout>

#include "station/AutoStartChoice.h"
#include "station/BundleBox.h"
#include "station/BundleTexts.h"
#include "station/ImageStatusText.h"
#include "station/OperatorFields.h"
#include "station/ProgressDelegate.h"
#include "station/SlotLogDialog.h"
#include "station/Station.h"
#include "station/YieldDialog.h"

namespace {

constexpr int kCellPadding = 8;
// The operation choice that stands for an open bundle's steps.
constexpr int kBundleOperationId = 100;

QPushButton* Button(const QString& text, QWidget* parent) {
    return new QPushButton(text, parent);
}

}  // namespace

CStationWindow::CStationWindow(CStation& station, QSettings& settings, StationSettings remembered,
                               QWidget* parent)
    : QMainWindow(parent),
      m_station(station),
      m_settings(settings),
      m_remembered(std::move(remembered)),
      m_ending(station) {
    setWindowTitle(tr("Tovrane Station"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(MakeImagesBox());
    layout->addWidget(MakeBundleBox());
    layout->addWidget(MakeOperationBox());
    layout->addWidget(MakeResultsRow());
    layout->addWidget(MakeOperatorFields());
    m_notice = new QLabel(central);
    m_notice->setWordWrap(true);
    m_notice->setStyleSheet(QStringLiteral("color: #c62828;"));
    m_notice->hide();
    layout->addWidget(m_notice);
    layout->addWidget(MakeTable(), 1);
    layout->addWidget(MakeButtons());
    layout->addWidget(MakeCounters());
    setCentralWidget(central);
    // At first start eight slots fit below a bundle's box, on a screen 768 high.
    if (!restoreGeometry(m_remembered.geometry)) {
        resize(1180, 700);
    }

    connect(&m_ending, &CRunsEnding::Ended, this, &CStationWindow::FinishClosing);
    connect(&m_station, &CStation::ImagesChanged, this, &CStationWindow::ShowImages);
    connect(&m_station, &CStation::CountersChanged, this, &CStationWindow::ShowCounters);
    connect(&m_station, &CStation::Notice, this, &CStationWindow::ShowNotice);
    // Progress, log lines and durations leave the buttons as they are.
    connect(&m_station.Model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft) {
                if (topLeft.column() <= CSlotModel::StateColumn) {
                    UpdateButtons();
                }
            });
    connect(&m_station.Model(), &QAbstractItemModel::rowsInserted, this,
            &CStationWindow::UpdateButtons);
    connect(&m_station.Model(), &QAbstractItemModel::rowsRemoved, this,
            &CStationWindow::UpdateButtons);
    ShowImages();
    ShowCounters();
}

QWidget* CStationWindow::MakeImagesBox() {
    auto* box = new QGroupBox(tr("Images"), this);
    m_imagesBox = box;
    auto* grid = new QGridLayout(box);
    m_folder = new QLabel(box);
    m_folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* choose = Button(tr("C&hoose…"), box);
    connect(choose, &QPushButton::clicked, this, &CStationWindow::ChooseImagesFolder);
    grid->addWidget(new QLabel(tr("Folder:"), box), 0, 0);
    grid->addWidget(m_folder, 0, 1);
    grid->addWidget(choose, 0, 2);
    auto* openBundle = Button(tr("Open &bundle…"), box);
    connect(openBundle, &QPushButton::clicked, this, &CStationWindow::ChooseBundle);
    grid->addWidget(openBundle, 0, 3);
    const CImageFolderCheck::Statuses& images = m_station.Images().Images();
    for (int i = 0; i < CImageFolderCheck::kImageCount; ++i) {
        m_imageLines[i] = new QLabel(box);
        m_imageLines[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(new QLabel(images[static_cast<size_t>(i)].name, box), i + 1, 0);
        grid->addWidget(m_imageLines[i], i + 1, 1, 1, 3);
    }
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* CStationWindow::MakeBundleBox() {
    m_bundleBox = new CBundleBox(this);
    connect(m_bundleBox, &CBundleBox::OpenAsked, this, &CStationWindow::ChooseBundle);
    connect(m_bundleBox, &CBundleBox::CloseAsked, this, [this] { SetBundle({}); });
    return m_bundleBox;
}

QWidget* CStationWindow::MakeOperationBox() {
    auto* box = new QGroupBox(tr("Operation"), this);
    auto* row = new QHBoxLayout(box);
    m_operations = new QButtonGroup(box);
    const std::pair<Operation, QString> choices[] = {
        {Operation::UpdateMcu, tr("Update &MCU")},
        {Operation::UpdateDsp, tr("Update &DSP")},
        {Operation::ReadVersion, tr("Read &Version")},
    };
    for (const auto& [operation, text] : choices) {
        auto* radio = new QRadioButton(text, box);
        radio->setChecked(operation == m_station.CurrentOperation());
        m_operations->addButton(radio, static_cast<int>(operation));
        row->addWidget(radio);
    }
    m_bundleOperation = new QRadioButton(tr("Release bundle"), box);
    m_operations->addButton(m_bundleOperation, kBundleOperationId);
    row->addWidget(m_bundleOperation);
    connect(m_operations, &QButtonGroup::idClicked, this, [this](int id) {
        if (id == kBundleOperationId) {
            return;
        }
        m_station.SetOperation(static_cast<Operation>(id));
        m_remembered.operation = static_cast<Operation>(id);
        Remember();
        ShowImages();
    });
    row->addSpacing(24);
    m_requireVerify = new QCheckBox(tr("Require &verification"), box);
    m_requireVerify->setChecked(m_station.RequireVerify());
    connect(m_requireVerify, &QCheckBox::toggled, this, [this](bool on) {
        m_station.SetRequireVerify(on);
        m_remembered.requireVerify = on;
        Remember();
    });
    auto* allPorts = new QCheckBox(tr("All &ports"), box);
    allPorts->setToolTip(tr("Also list on-board serial ports (ttyS, ttyAMA)."));
    connect(allPorts, &QCheckBox::toggled, &m_station, &CStation::SetShowAllPorts);
    auto* autoStart =
        new CAutoStartChoice(m_station.AutoStart(), m_station.CurrentAutoStartMode(), box);
    connect(autoStart, &CAutoStartChoice::Toggled, this, [this](bool on) {
        m_station.SetAutoStart(on);
        m_remembered.autoStart = on;
        Remember();
        UpdateButtons();
    });
    connect(autoStart, &CAutoStartChoice::ModeChosen, this, [this](AutoStartMode mode) {
        m_station.SetAutoStartMode(mode);
        m_remembered.autoStartMode = mode;
        Remember();
        UpdateButtons();
    });
    row->addWidget(m_requireVerify);
    row->addWidget(autoStart);
    row->addWidget(allPorts);
    row->addStretch(1);
    return box;
}

QWidget* CStationWindow::MakeResultsRow() {
    auto* widget = new QWidget(this);
    auto* row = new QHBoxLayout(widget);
    row->setContentsMargins(0, 0, 0, 0);
    m_resultsFile = new QLabel(m_station.ResultsFile(), widget);
    m_resultsFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_chooseResults = Button(tr("Choose &file…"), widget);
    connect(m_chooseResults, &QPushButton::clicked, this, &CStationWindow::ChooseResultsFile);
    m_operationBlocker = new QLabel(widget);
    m_operationBlocker->setWordWrap(true);
    m_operationBlocker->setStyleSheet(QStringLiteral("color: #c62828;"));
    row->addWidget(new QLabel(tr("Results file:"), widget));
    row->addWidget(m_resultsFile, 1);
    row->addWidget(m_chooseResults);
    auto* journal = new QCheckBox(tr("System &journal"), widget);
    journal->setToolTip(
        tr("Also send every stored result to the system journal, where journalctl shows it "
           "and systemd-journal-upload can gather it from many stations."));
    journal->setChecked(m_station.Journal());
    connect(journal, &QCheckBox::toggled, this, [this](bool on) {
        m_station.SetJournal(on);
        m_remembered.journal = on;
        Remember();
    });
    row->addWidget(journal);
    auto* column = new QWidget(this);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(widget);
    layout->addWidget(m_operationBlocker);
    return column;
}

QWidget* CStationWindow::MakeOperatorFields() {
    m_operatorFields = new COperatorFields(m_station.Operator(), m_station.WorkOrder(), this);
    connect(m_operatorFields, &COperatorFields::OperatorEdited, this, [this](const QString& name) {
        m_station.SetOperator(name);
        m_remembered.operatorName = name;
        Remember();
    });
    connect(m_operatorFields, &COperatorFields::WorkOrderEdited, this,
            [this](const QString& workOrder) {
                m_station.SetWorkOrder(workOrder);
                m_remembered.workOrder = workOrder;
                Remember();
            });
    return m_operatorFields;
}

void CStationWindow::SetWorkOrderLocked(bool locked) {
    m_operatorFields->SetWorkOrderLocked(locked);
}

void CStationWindow::SetLocked(bool locked) {
    m_locked = locked;
    m_bundleBox->SetLocked(locked);
    m_chooseResults->setEnabled(!locked);
    SetWorkOrderLocked(locked);
    setWindowTitle(locked ? tr("Tovrane Station (locked)") : tr("Tovrane Station"));
    ShowImages();
}

QWidget* CStationWindow::MakeTable() {
    m_table = new QTableView(this);
    m_table->setModel(&m_station.Model());
    m_table->setItemDelegateForColumn(CSlotModel::ProgressColumn, new CProgressDelegate(m_table));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    SizeColumns();
    m_table->installEventFilter(this);
    connect(m_table, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { OpenLog(index.row()); });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CStationWindow::UpdateButtons);
    return m_table;
}

// Columns are sized once for the widest value they can show, not to their contents:
// measuring every cell at each progress tick would cost the window most of its
// time with many slots. The columns that name the slot follow the slots.
void CStationWindow::SizeColumns() {
    QHeaderView* header = m_table->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(CSlotModel::ResultColumn, QHeaderView::Stretch);
    const QFontMetrics metrics(m_table->font());
    const auto widest = [&](int column, const QStringList& samples) {
        int width = header->sectionSizeHint(column);
        for (const QString& sample : samples) {
            width = std::max(width, metrics.horizontalAdvance(sample) + 2 * kCellPadding);
        }
        header->resizeSection(column, width);
    };
    widest(CSlotModel::StateColumn,
           {PortStateWords(PortState::NoPermission), PortStateWords(PortState::Unavailable),
            PortStateWords(std::nullopt), CSlotModel::tr("running"),
            BoardWaitWords(BoardWait::ForBoard), BoardWaitWords(BoardWait::ForRemoval),
            BoardWaitWords(BoardWait::Stopped)});
    widest(CSlotModel::ProgressColumn, {QStringLiteral("100%  100%  100%"),
                                        StepAt(QStringLiteral("version"), 3, 3) + "  100%"});
    widest(CSlotModel::BlocksColumn, {CSlotModel::tr("%1 of %2").arg(88888).arg(88888)});
    widest(CSlotModel::SpeedColumn, {CSlotModel::tr("%1 blocks/s").arg(888)});
    widest(CSlotModel::RemainingColumn, {QStringLiteral("88:88")});
    widest(CSlotModel::LoaderColumn, {CSlotModel::tr("old"), CSlotModel::tr("new")});
    widest(CSlotModel::DurationColumn, {CSlotModel::tr("%1 s").arg(8888.8, 0, 'f', 1)});
    const auto fitSlotColumns = [this] {
        for (int column :
             {CSlotModel::SlotColumn, CSlotModel::PortColumn, CSlotModel::DescriptionColumn}) {
            m_table->resizeColumnToContents(column);
        }
    };
    // Once the rescan that added or removed a row has filled it in.
    const auto fitLater = [this, fitSlotColumns] { QTimer::singleShot(0, this, fitSlotColumns); };
    connect(&m_station.Model(), &QAbstractItemModel::rowsInserted, this, fitLater);
    connect(&m_station.Model(), &QAbstractItemModel::rowsRemoved, this, fitLater);
    fitSlotColumns();
}

QWidget* CStationWindow::MakeButtons() {
    auto* widget = new QWidget(this);
    auto* row = new QHBoxLayout(widget);
    row->setContentsMargins(0, 0, 0, 0);
    m_start = Button(tr("&Start"), widget);
    m_stop = Button(tr("S&top"), widget);
    m_log = Button(tr("&Log…"), widget);
    m_remove = Button(tr("&Remove"), widget);
    m_startAll = Button(tr("Start &all"), widget);
    m_stopAll = Button(tr("Stop a&ll"), widget);
    connect(m_start, &QPushButton::clicked, this, &CStationWindow::StartSelected);
    connect(m_stop, &QPushButton::clicked, this, &CStationWindow::StopSelected);
    connect(m_remove, &QPushButton::clicked, this, &CStationWindow::RemoveSelected);
    connect(m_log, &QPushButton::clicked, this, [this] {
        for (int row : SelectedRows()) {
            OpenLog(row);
        }
    });
    connect(m_startAll, &QPushButton::clicked, &m_station, &CStation::StartAll);
    connect(m_stopAll, &QPushButton::clicked, &m_station, &CStation::StopAll);
    for (QPushButton* button : {m_start, m_stop, m_log, m_remove}) {
        row->addWidget(button);
    }
    row->addStretch(1);
    row->addWidget(m_startAll);
    row->addWidget(m_stopAll);
    return widget;
}

QWidget* CStationWindow::MakeCounters() {
    auto* widget = new QWidget(this);
    auto* row = new QHBoxLayout(widget);
    row->setContentsMargins(0, 0, 0, 0);
    m_counters = new QLabel(widget);
    auto* reset = Button(tr("R&eset counters"), widget);
    connect(reset, &QPushButton::clicked, &m_station, &CStation::ResetCounters);
    auto* yield = Button(tr("&Yield…"), widget);
    connect(yield, &QPushButton::clicked, this, &CStationWindow::OpenYield);
    row->addWidget(m_counters, 1);
    row->addWidget(reset);
    row->addWidget(yield);
    return widget;
}

void CStationWindow::ShowImages() {
    ShowOperationSource();
    m_folder->setText(m_station.Images().Folder());
    const CImageFolderCheck::Statuses& images = m_station.Images().Images();
    for (size_t i = 0; i < images.size(); ++i) {
        m_imageLines[i]->setText(ImageStatusText(images[i]));
    }
    const QString blocker = m_station.ImagesBlocker();
    const bool checking = m_station.ImagesChecking();
    m_operationBlocker->setText(blocker.isEmpty() || checking
                                    ? QString()
                                    : tr("The operation cannot start: %1").arg(blocker));
    m_operationBlocker->setVisible(!m_operationBlocker->text().isEmpty());
    UpdateButtons();
}

// An open bundle takes the place of the images folder, and its steps that of the
// operation, until it is closed.
void CStationWindow::ShowOperationSource() {
    const bool bundle = m_station.Bundle().Open();
    m_imagesBox->setVisible(!bundle);
    m_bundleBox->setVisible(bundle);
    m_bundleBox->Show(m_station.Bundle());
    for (QAbstractButton* choice : m_operations->buttons()) {
        choice->setEnabled(bundle ? choice == m_bundleOperation : !m_locked);
    }
    m_bundleOperation->setVisible(bundle);
    QAbstractButton* chosen =
        bundle ? m_bundleOperation
               : m_operations->button(static_cast<int>(m_station.CurrentOperation()));
    chosen->setChecked(true);
    m_requireVerify->setEnabled(!bundle && !m_locked);
}

void CStationWindow::ShowCounters() {
    const RunCounters counters = m_station.Counters();
    m_counters->setText(tr("Passed: %1    Failed: %2    Running: %3")
                            .arg(counters.passed)
                            .arg(counters.failed)
                            .arg(m_station.RunningCount()));
    UpdateButtons();
}

void CStationWindow::ShowNotice(const QString& text) {
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

void CStationWindow::UpdateButtons() {
    const bool imagesReady = m_station.ImagesBlocker().isEmpty();
    const QList<int> rows = SelectedRows();
    bool anyIdle = false;
    bool anyBusy = false;
    bool anyRemovable = false;
    for (int row : rows) {
        const Slot& slot = m_station.Model().At(row);
        anyIdle = anyIdle || (!slot.Busy() && slot.DevicePresent());
        // A probing slot is stopped like a running one.
        anyBusy = anyBusy || slot.Busy() ||
                  (slot.boardWait != BoardWait::None && slot.boardWait != BoardWait::Stopped);
        anyRemovable = anyRemovable || m_station.CanRemove(row);
    }
    m_start->setEnabled(imagesReady && anyIdle && !m_closing);
    m_stop->setEnabled(anyBusy);
    m_remove->setEnabled(anyRemovable);
    m_log->setEnabled(!rows.isEmpty());
    m_startAll->setEnabled(imagesReady && m_station.Model().Count() > 0 && !m_closing);
    m_stopAll->setEnabled(m_station.RunningCount() > 0 || m_station.Probing());
}

QList<int> CStationWindow::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) {
        rows << index.row();
    }
    return rows;
}

void CStationWindow::OpenLog(int row) {
    if (row < 0 || row >= m_station.Model().Count()) {
        return;
    }
    auto* dialog = new CSlotLogDialog(m_station, m_station.Model().At(row).id, this);
    dialog->show();
}

void CStationWindow::OpenYield() {
    if (auto* open = findChild<CYieldDialog*>()) {
        open->Refresh();
        open->raise();
        open->activateWindow();
        return;
    }
    (new CYieldDialog(m_station, this))->show();
}

void CStationWindow::ChooseImagesFolder() {
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("Images folder"), m_station.Images().Folder());
    if (!folder.isEmpty()) {
        m_station.SetImagesFolder(folder);
        m_remembered.imagesFolder = folder;
        Remember();
    }
}

void CStationWindow::ChooseBundle() {
    const QString current = m_station.Bundle().Bundle();
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open bundle"),
        current.isEmpty() ? m_station.Images().Folder() : QFileInfo(current).absolutePath(),
        tr("Release bundles (*.tar *.tar.gz *.tgz);;All files (*)"));
    if (!path.isEmpty()) {
        SetBundle(path);
    }
}

void CStationWindow::SetBundle(const QString& path) {
    m_station.Bundle().SetBundle(path);
    m_remembered.bundle = path;
    Remember();
}

void CStationWindow::ChooseResultsFile() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Results file"), m_station.ResultsFile(),
        tr("JSON Lines (*.jsonl);;All files (*)"), nullptr, QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) {
        m_station.SetResultsFile(path);
        m_resultsFile->setText(path);
        m_remembered.resultsFile = path;
        Remember();
    }
}

void CStationWindow::StartSelected() {
    ShowNotice({});
    // Rows are taken by id: a start may not move them, but a notice may come first.
    QStringList ids;
    for (int row : SelectedRows()) {
        ids << m_station.Model().At(row).id;
    }
    for (const QString& id : ids) {
        const int row = m_station.Model().RowOf(id);
        if (row >= 0 && !m_station.Model().At(row).Busy() && !m_station.StartSlot(row)) {
            break;
        }
    }
}

void CStationWindow::StopSelected() {
    for (int row : SelectedRows()) {
        m_station.StopSlot(row);
    }
}

void CStationWindow::RemoveSelected() {
    QList<int> rows = SelectedRows();
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (int row : rows) {
        m_station.RemoveSlot(row);
    }
}

void CStationWindow::Remember() {
    m_remembered.geometry = saveGeometry();
    SaveStationSettings(m_settings, m_remembered);
}

// Enter opens the log of the current row, as a double click does.
bool CStationWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_table->currentIndex().isValid()) {
            OpenLog(m_table->currentIndex().row());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// Closing while devices are flashed asks first, then stops every run and waits
// (bounded) for their results before the window goes.
void CStationWindow::closeEvent(QCloseEvent* event) {
    const int running = m_station.RunningCount();
    if (m_closing || running == 0) {
        Remember();
        event->accept();
        return;
    }
    event->ignore();
    const auto answer = QMessageBox::question(
        this, tr("Tovrane Station"),
        tr("%n device(s) are still being flashed. Stop them and quit?", nullptr, running),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes || m_closing) {
        return;
    }
    m_closing = true;
    ShowNotice(tr("Stopping every run and storing its result…"));
    UpdateButtons();
    m_ending.Begin();
}

void CStationWindow::FinishClosing() {
    m_closing = true;
    close();
}
