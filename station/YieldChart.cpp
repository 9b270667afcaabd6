#include "station/YieldChart.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QStackedBarSeries>
#include <QValueAxis>

namespace {

const QColor kPassedColor(0x1b, 0x7f, 0x3a);
const QColor kFailedColor(0xc6, 0x28, 0x28);
// The names are written upwards when all of them, each as long as the longest,
// need more characters than this.
constexpr qsizetype kLevelNamesRoom = 24;
const QString kDevicePrefix = QStringLiteral("/dev/");
constexpr int kMostWholeTicks = 10;

QBarSet* BarSet(const QString& label, const QColor& color) {
    auto* set = new QBarSet(label);
    set->setColor(color);
    set->setBorderColor(color);
    return set;
}

// A slot's name under its bar: a device path without its /dev/, as the room is short.
QString NameUnderBar(const QString& slot) {
    return slot.startsWith(kDevicePrefix) ? slot.mid(kDevicePrefix.size()) : slot;
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
    qsizetype longest = 0;
    for (const SlotYield& slot : yields) {
        *passed << slot.passed;
        *failed << slot.failed;
        const QString name = NameUnderBar(slot.slot);
        names << (slot.flagged ? QStringLiteral("⚠ ") + name : name);
        most = std::max(most, slot.runs);
        longest = std::max(longest, name.size());
    }
    auto* series = new QStackedBarSeries;
    series->append(passed);
    series->append(failed);
    chart->addSeries(series);

    auto* slotAxis = new QBarCategoryAxis;
    slotAxis->append(names);
    slotAxis->setLabelsAngle(names.size() * longest > kLevelNamesRoom ? -90 : 0);
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
