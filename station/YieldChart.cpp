#include "station/YieldChart.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QStackedBarSeries>
#include <QValueAxis>

namespace {

const QColor kPassedColor(0x1b, 0x7f, 0x3a);
const QColor kFailedColor(0xc6, 0x28, 0x28);
// More slots than this get their names written upwards.
constexpr int kSlotsWithLevelNames = 10;
constexpr int kMostWholeTicks = 10;

QBarSet* BarSet(const QString& label, const QColor& color) {
    auto* set = new QBarSet(label);
    set->setColor(color);
    set->setBorderColor(color);
    return set;
}

}  // namespace

CYieldChart::CYieldChart(QWidget* parent) : QChartView(parent) {
    setRenderHint(QPainter::Antialiasing);
    chart()->setTitle(tr("Runs per slot"));
    chart()->legend()->setAlignment(Qt::AlignBottom);
    chart()->setAnimationOptions(QChart::NoAnimation);
}

void CYieldChart::Show(const std::vector<SlotYield>& yields) {
    QChart* chart = this->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    QBarSet* passed = BarSet(tr("Passed"), kPassedColor);
    QBarSet* failed = BarSet(tr("Failed"), kFailedColor);
    QStringList names;
    int most = 0;
    for (const SlotYield& slot : yields) {
        *passed << slot.passed;
        *failed << slot.failed;
        names << (slot.flagged ? QStringLiteral("⚠ ") + slot.slot : slot.slot);
        most = std::max(most, slot.runs);
    }
    auto* series = new QStackedBarSeries;
    series->append(passed);
    series->append(failed);
    chart->addSeries(series);

    auto* slotAxis = new QBarCategoryAxis;
    slotAxis->append(names);
    slotAxis->setLabelsAngle(names.size() > kSlotsWithLevelNames ? -90 : 0);
    chart->addAxis(slotAxis, Qt::AlignBottom);
    series->attachAxis(slotAxis);

    auto* runAxis = new QValueAxis;
    runAxis->setRange(0, std::max(most, 1));
    runAxis->setLabelFormat(QStringLiteral("%d"));
    if (most <= kMostWholeTicks) {
        runAxis->setTickCount(std::max(most, 1) + 1);  // a tick per run, no fractions
    } else {
        runAxis->applyNiceNumbers();
    }
    chart->addAxis(runAxis, Qt::AlignLeft);
    series->attachAxis(runAxis);
}
