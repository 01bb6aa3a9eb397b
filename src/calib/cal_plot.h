// The calibration table as curves over frequency: the amplitude word
// (0-4095, left axis) and the phase in degrees (right axis) of all 256
// rows, the selected row marked. A click in the plot selects the row
// nearest to it.
#pragma once

#include "cal_file.h"

#include <QChartView>

class QLineSeries;
class QScatterSeries;

namespace plovan {

class CalPlot : public QChartView {
    Q_OBJECT
public:
    explicit CalPlot(QWidget* parent = nullptr);

    void setRows(const CalRows& rows);
    // One row's words, as the editor holds them now (before "Save Record").
    void setRow(int row, std::int64_t amplitude, std::int64_t phaseWord);
    void select(int row);
    int selected() const { return selected_; }

    QLineSeries* amplitudeSeries;
    QLineSeries* phaseSeries;

signals:
    void rowClicked(int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void markSelected();

    QScatterSeries* amplitudeMark_;
    QScatterSeries* phaseMark_;
    int selected_ = -1;
};

// The x of a location: its frequency in MHz; and back, the nearest location.
double locationMHz(int location);
int nearestLocation(double mhz);

} // namespace plovan
