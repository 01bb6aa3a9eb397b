// The VSWR sweep's readings as curves over frequency: forward (solid) and
// reflected (dashed) readings of J1 ... J4, and below them each output's
// ratio reflected / forward. The values are the unit's raw readings, not
// calibrated power.
#pragma once

#include "vswr_file.h"

#include <QWidget>
#include <array>

class QChart;
class QChartView;
class QColor;
class QLineSeries;

namespace plovan {

class VswrPlot : public QWidget {
    Q_OBJECT
public:
    explicit VswrPlot(QWidget* parent = nullptr);

    void clear();
    void add(double mhz, const vswr::Reading& values);
    // Points per curve.
    int points() const;

    // Index j = 0 ... 3 is J1 ... J4.
    std::array<QLineSeries*, 4> forward;
    std::array<QLineSeries*, 4> reflected;
    std::array<QLineSeries*, 4> ratio;
    QChartView* readingsView;
    QChartView* ratioView;

private:
    double ratioMax_ = 1.0;
};

// A line series added to `chart`, drawn in `colour` with `style`; the VSWR
// plot and the power monitor's chart draw every line this way.
QLineSeries* addLineSeries(QChart* chart, const QString& name, const QColor& colour, Qt::PenStyle style);

} // namespace plovan
