#pragma once

#include <QChartView>
#include <vector>

#include "station/YieldStatistics.h"

// Passed and failed runs per slot as stacked bars, so a bad fixture stands out
// without reading numbers; a flagged slot's name carries a warning sign.
class CYieldChart : public QChartView {
    Q_OBJECT

  public:
    explicit CYieldChart(QWidget* parent = nullptr);

    void Show(const std::vector<SlotYield>& yields);
};
