#include "cal_plot.h"

#include "hex_text.h"

#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace plovan {

double locationMHz(int location)
{
    return location * 312.5 / 512;
}

int nearestLocation(double mhz)
{
    return std::clamp(int(std::lround(mhz * 512 / 312.5)), 0, kCalLocations - 1);
}

namespace {

// A word that is not hex is drawn at 0, so the curve shows the gap.
std::int64_t shown(std::int64_t value)
{
    return std::max<std::int64_t>(value, 0);
}

} // namespace

CalPlot::CalPlot(QWidget* parent) : QChartView(parent)
{
    setObjectName(QStringLiteral("CalPlot"));
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    amplitudeSeries = new QLineSeries(chart);
    amplitudeSeries->setName(tr("Amplitude word"));
    phaseSeries = new QLineSeries(chart);
    phaseSeries->setName(tr("Phase (degrees)"));
    amplitudeMark_ = new QScatterSeries(chart);
    phaseMark_ = new QScatterSeries(chart);
    for (QScatterSeries* mark : {amplitudeMark_, phaseMark_}) {
        mark->setMarkerSize(9);
        mark->setColor(Qt::red);
    }
    for (QAbstractSeries* s :
         std::initializer_list<QAbstractSeries*>{amplitudeSeries, phaseSeries, amplitudeMark_, phaseMark_})
        chart->addSeries(s);

    // Ticks at round values: every 20 MHz, 1000 in amplitude, 60 degrees.
    const auto axis = [chart](const QString& title, double top, double step) {
        auto* a = new QValueAxis(chart);
        a->setTitleText(title);
        a->setRange(0, top);
        a->setTickType(QValueAxis::TicksDynamic);
        a->setTickAnchor(0);
        a->setTickInterval(step);
        a->setLabelFormat(QStringLiteral("%.0f"));
        return a;
    };
    auto* mhz = axis(tr("Frequency (MHz)"), 160, 20);
    auto* amplitude = axis(tr("Amplitude word"), 4096, 1000);
    auto* degrees = axis(tr("Phase (degrees)"), 360, 60);
    chart->addAxis(mhz, Qt::AlignBottom);
    chart->addAxis(amplitude, Qt::AlignLeft);
    chart->addAxis(degrees, Qt::AlignRight);
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{amplitudeSeries, amplitudeMark_}) {
        s->attachAxis(mhz);
        s->attachAxis(amplitude);
    }
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{phaseSeries, phaseMark_}) {
        s->attachAxis(mhz);
        s->attachAxis(degrees);
    }
    // The marks are not in the legend.
    for (QLegendMarker* marker : chart->legend()->markers(amplitudeMark_))
        marker->setVisible(false);
    for (QLegendMarker* marker : chart->legend()->markers(phaseMark_))
        marker->setVisible(false);
    setChart(chart);
    setRenderHint(QPainter::Antialiasing);
    setMinimumSize(360, 240);
    setToolTip(tr("Click to select the nearest row"));
}

void CalPlot::setRows(const CalRows& rows)
{
    QList<QPointF> amplitude, phase;
    amplitude.reserve(kCalLocations);
    phase.reserve(kCalLocations);
    for (int i = 0; i < kCalLocations; ++i) {
        amplitude.append({locationMHz(i), double(shown(HexValue(rows[std::size_t(i)].amplitude)))});
        phase.append({locationMHz(i), double(phaseDegrees(shown(HexValue(rows[std::size_t(i)].phase))))});
    }
    amplitudeSeries->replace(amplitude);
    phaseSeries->replace(phase);
    markSelected();
}

void CalPlot::setRow(int row, std::int64_t amplitude, std::int64_t phaseWord)
{
    if (row < 0 || row >= amplitudeSeries->count()) return;
    amplitudeSeries->replace(row, locationMHz(row), double(shown(amplitude)));
    phaseSeries->replace(row, locationMHz(row), double(phaseDegrees(shown(phaseWord))));
    if (row == selected_) markSelected();
}

void CalPlot::select(int row)
{
    selected_ = row;
    markSelected();
}

void CalPlot::markSelected()
{
    amplitudeMark_->clear();
    phaseMark_->clear();
    if (selected_ < 0 || selected_ >= amplitudeSeries->count()) return;
    amplitudeMark_->append(amplitudeSeries->at(selected_));
    phaseMark_->append(phaseSeries->at(selected_));
}

void CalPlot::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && amplitudeSeries->count() > 0 &&
        chart()->plotArea().contains(event->position())) {
        const QPointF value = chart()->mapToValue(event->position(), amplitudeSeries);
        emit rowClicked(nearestLocation(value.x()));
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

} // namespace plovan
