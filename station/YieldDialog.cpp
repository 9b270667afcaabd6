#include "station/YieldDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPromise>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "link/Timeouts.h"
#include "station/Station.h"
#include "station/YieldChart.h"

namespace {

constexpr qint64 kRecentSeconds = qint64{8} * 3600;
constexpr int kTablesWidth = 720;
constexpr int kChartWidth = 460;
constexpr int kChartMinimumWidth = 320;
const QString kWarningStyle = QStringLiteral("color: #c62828;");

// `stretchLast`: the last column takes the width left.
QTableView* Table(QAbstractItemModel* model, bool stretchLast, QWidget* parent) {
    auto* table = new QTableView(parent);
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(stretchLast);
    // The tables hold a row per slot or per outcome: measuring them is cheap.
    QObject::connect(model, &QAbstractItemModel::modelReset, table,
                     [table] { table->resizeColumnsToContents(); });
    return table;
}

// A line of the dialog that takes room only while it has something to say.
void Say(QLabel* line, const QString& text, const QString& style = {}) {
    line->setText(text);
    line->setStyleSheet(style);
    line->setVisible(!text.isEmpty());
}

}  // namespace

CYieldDialog::CYieldDialog(CStation& station, QWidget* parent)
    : QDialog(parent), m_station(station) {
    setWindowTitle(tr("Yield"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeChoosers());
    auto* summaryRow = new QHBoxLayout;
    m_summary = new QLabel(this);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_unreadable = new QLabel(this);
    m_unreadable->hide();
    summaryRow->addWidget(m_summary, 1);
    summaryRow->addWidget(m_unreadable);
    layout->addLayout(summaryRow);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(MakeTables());
    m_chart = new CYieldChart(splitter);
    splitter->addWidget(m_chart);
    m_chart->setMinimumWidth(kChartMinimumWidth);
    splitter->setSizes({kTablesWidth, kChartWidth});
    layout->addWidget(splitter, 1);
    m_reading = new QLabel(this);
    m_reading->setWordWrap(true);
    layout->addWidget(m_reading);
    m_exported = new QLabel(this);
    m_exported->setWordWrap(true);
    m_exported->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_exported->hide();
    layout->addWidget(m_exported);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(kTablesWidth + kChartWidth, 620);

    connect(&m_source, &CYieldSource::Ready, this, &CYieldDialog::Show);
    m_changeDelay.setSingleShot(true);
    m_changeDelay.setInterval(static_cast<int>(timing::Scaled(timing::kYieldRecountDelayMs)));
    connect(&m_changeDelay, &QTimer::timeout, this, &CYieldDialog::Recount);
    // The first change starts the delay and later ones wait with it, so a busy line
    // is recounted at most once per delay and never put off for good.
    const auto changed = [this] {
        if (!m_changeDelay.isActive()) {
            m_changeDelay.start();
        }
    };
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, changed);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, changed);
    connect(&m_exporting, &QFutureWatcherBase::finished, this,
            [this] { ShowExported(m_exportPath); });
    Refresh();
}

// An export still going is dropped, its file not written.
CYieldDialog::~CYieldDialog() {
    m_exporting.cancel();
}

QWidget* CYieldDialog::MakeChoosers() {
    auto* widget = new QWidget(this);
    auto* row = new QHBoxLayout(widget);
    row->setContentsMargins(0, 0, 0, 0);
    m_period = new QComboBox(widget);
    const std::pair<Period, QString> periods[] = {
        {Period::SinceStationStart, tr("Since the station started")},
        {Period::Today, tr("Today")},
        {Period::Last8Hours, tr("The last 8 hours")},
        {Period::All, tr("All")},
    };
    for (const auto& [period, text] : periods) {
        m_period->addItem(text, static_cast<int>(period));
    }
    m_workOrder = new QComboBox(widget);
    m_workOrder->addItem(tr("All work orders"));
    m_workOrder->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* periodLabel = new QLabel(tr("&Period:"), widget);
    periodLabel->setBuddy(m_period);
    auto* workOrderLabel = new QLabel(tr("&Work order:"), widget);
    workOrderLabel->setBuddy(m_workOrder);
    auto* refresh = new QPushButton(tr("&Refresh"), widget);
    m_export = new QPushButton(tr("&Export CSV…"), widget);
    connect(m_period, &QComboBox::currentIndexChanged, this, &CYieldDialog::Recount);
    connect(m_workOrder, &QComboBox::currentIndexChanged, this, &CYieldDialog::Recount);
    connect(refresh, &QPushButton::clicked, this, &CYieldDialog::Refresh);
    connect(m_export, &QPushButton::clicked, this, &CYieldDialog::ExportCsv);
    row->addWidget(periodLabel);
    row->addWidget(m_period);
    row->addSpacing(16);
    row->addWidget(workOrderLabel);
    row->addWidget(m_workOrder);
    row->addStretch(1);
    row->addWidget(refresh);
    row->addWidget(m_export);
    return widget;
}

QWidget* CYieldDialog::MakeTables() {
    auto* widget = new QWidget(this);
    auto* column = new QVBoxLayout(widget);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(Table(&m_slots, true, widget), 3);
    column->addWidget(new QLabel(tr("Failures by outcome"), widget));
    column->addWidget(Table(&m_failures, false, widget), 1);
    return widget;
}

RunFilter CYieldDialog::Filter() const {
    RunFilter filter;
    const QDateTime now = QDateTime::currentDateTime();
    switch (static_cast<Period>(m_period->currentData().toInt())) {
        case Period::SinceStationStart:
            filter.since = m_station.StartedAt();
            break;
        case Period::Today:
            filter.since = now.date().startOfDay();
            break;
        case Period::Last8Hours:
            filter.since = now.addSecs(-kRecentSeconds);
            break;
        case Period::All:
            break;
    }
    const QVariant workOrder = m_workOrder->currentData();
    if (workOrder.isValid()) {
        filter.workOrder = workOrder.toString();
    }
    return filter;
}

void CYieldDialog::Refresh() {
    FollowResultsFile();
    Say(m_reading, tr("Reading the results file…"));
    m_source.Reread(m_watchedPath, Filter());
}

void CYieldDialog::Recount() {
    FollowResultsFile();
    m_source.Update(m_watchedPath, Filter());
}

// Watches the station's results file for appends, and its folder for the file
// appearing or being replaced (a replaced file is no longer watched by itself).
void CYieldDialog::FollowResultsFile() {
    const QString path = m_station.ResultsFile();
    if (path != m_watchedPath) {
        const QStringList watched = m_watcher.files() + m_watcher.directories();
        if (!watched.isEmpty()) {
            m_watcher.removePaths(watched);
        }
        m_watchedPath = path;
        m_watcher.addPath(QFileInfo(path).absolutePath());
    }
    if (!m_watcher.files().contains(path) && QFileInfo::exists(path)) {
        m_watcher.addPath(path);
    }
}

void CYieldDialog::Show(const YieldReport& report) {
    m_slots.SetSlots(report.perSlot);
    m_failures.SetFailures(report.failures);
    m_chart->Show(report.perSlot);
    ShowSummary(report);
    ShowWorkOrders(report.workOrders);
    Say(m_reading, report.readError, kWarningStyle);
}

void CYieldDialog::ShowSummary(const YieldReport& report) {
    QString summary =
        tr("%1 runs: %2 passed, %3 failed.").arg(report.runs).arg(report.passed).arg(report.failed);
    if (report.firstPassYield && report.medianFirstPassYield) {
        summary += QLatin1Char(' ') + tr("First-pass yield %1, median of the slots %2.")
                                          .arg(PercentText(report.firstPassYield),
                                               PercentText(report.medianFirstPassYield));
    }
    m_summary->setText(summary);
    Say(m_unreadable,
        report.unreadableLines > 0
            ? tr("%n lines could not be read", nullptr, report.unreadableLines)
            : QString(),
        kWarningStyle);
}

// The work orders found in the file; the chosen one stays chosen.
void CYieldDialog::ShowWorkOrders(const QStringList& workOrders) {
    const QVariant chosen = m_workOrder->currentData();
    const QSignalBlocker quiet(m_workOrder);
    while (m_workOrder->count() > 1) {
        m_workOrder->removeItem(1);
    }
    QStringList shown = workOrders;
    if (chosen.isValid() && !shown.contains(chosen.toString())) {
        shown.prepend(chosen.toString());
    }
    for (const QString& workOrder : shown) {
        m_workOrder->addItem(workOrder.isEmpty() ? tr("(none)") : workOrder, workOrder);
    }
    m_workOrder->setCurrentIndex(chosen.isValid() ? m_workOrder->findData(chosen) : 0);
}

void CYieldDialog::ExportCsv() {
    const QString suggested = m_exportPath.isEmpty()
                                  ? QDir::home().filePath(QStringLiteral("tovrane-runs.csv"))
                                  : m_exportPath;
    const QString path = QFileDialog::getSaveFileName(this, tr("Export CSV"), suggested,
                                                      tr("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    m_exportPath = path;
    m_export->setEnabled(false);
    Say(m_exported, tr("Writing %1…").arg(path));
    m_exporting.setFuture(QtConcurrent::run(
        [](QPromise<CsvExportResult>& promise, const QString& results, const QString& csv,
           const RunFilter& filter) {
            promise.addResult(
                ExportRunsToCsv(results, csv, filter, [&promise] { return promise.isCanceled(); }));
        },
        m_station.ResultsFile(), path, Filter()));
}

void CYieldDialog::ShowExported(const QString& path) {
    m_export->setEnabled(true);
    const QFuture<CsvExportResult> future = m_exporting.future();
    if (future.isCanceled() || future.resultCount() == 0) {
        return;
    }
    const CsvExportResult result = future.result();
    if (!result.error.isEmpty()) {
        Say(m_exported, {});
        QMessageBox::warning(this, tr("Export CSV"), result.error);
        return;
    }
    Say(m_exported, tr("%n run(s) written to %1.", nullptr, result.rows).arg(path));
}
