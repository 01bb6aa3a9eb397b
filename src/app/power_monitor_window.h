// Tools > "Power monitor": the monitor's settings, a strip chart of the
// forward (solid) and reflected (dashed) readings of J1-J4 over the last ten
// minutes, their reflected/forward ratios against the trip level, CSV
// recording, and the interlock's red banner that RF on waits for.
#pragma once

#include "power_monitor.h"

#include <QFile>
#include <QWidget>
#include <array>

class QChart;
class QLineSeries;
class QValueAxis;
class QDoubleSpinBox;
class QSpinBox;
class QLabel;
class QPushButton;
class QWidget;

namespace plovan {

class PowerMonitorWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSpanSeconds = 600;

    PowerMonitorWindow(PowerMonitor& monitor, QWidget* parent = nullptr);

private:
    void startStop();
    void applySettings();
    void record(bool on);
    void add(const QDateTime& when, const vswr::Reading& values);
    void showTrip(const QString& line);
    void acknowledge();

    PowerMonitor& monitor_;
    QDoubleSpinBox* interval_;
    QDoubleSpinBox* trip_;
    QSpinBox* count_;
    QPushButton* run_;
    QPushButton* recordButton_;
    QLabel* state_;
    QWidget* banner_;
    QLabel* bannerText_;
    QChart* levels_;
    QChart* ratios_;
    QValueAxis* levelTime_;
    QValueAxis* levelAxis_;
    QValueAxis* ratioTime_;
    QValueAxis* ratioAxis_;
    std::array<QLineSeries*, 4> forward_{};
    std::array<QLineSeries*, 4> reflected_{};
    std::array<QLineSeries*, 4> ratio_{};
    QLineSeries* tripLevel_;
    QDateTime started_;
    QFile csv_;
};

} // namespace plovan
