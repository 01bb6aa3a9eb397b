#include "vswr_plot.h"

#include <QChartView>
#include <QLineSeries>
#include <QPen>
#include <QVBoxLayout>
#include <QValueAxis>

namespace plovan {

namespace {

const std::array<QColor, 4> kColours{QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                     QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd)};

QChart* chartWith(const QString& title, const QString& yTitle, double yMax)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto* x = new QValueAxis(chart);
    x->setRange(vswr::kStartMHz, vswr::kEndMHz - 1);
    x->setTitleText(QObject::tr("MHz"));
    x->setLabelFormat(QStringLiteral("%.0f"));
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(50);
    x->setTickInterval(10);
    auto* y = new QValueAxis(chart);
    y->setRange(0, yMax);
    y->setTitleText(yTitle);
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(0);
    y->setTickInterval(yMax / 4);
    y->setLabelFormat(yMax > 10 ? QStringLiteral("%.0f") : QStringLiteral("%.2f"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    return chart;
}

QLineSeries* series(QChart* chart, const QString& name, const QColor& colour, Qt::PenStyle style)
{
    QLineSeries* s = addLineSeries(chart, name, colour, style);
    s->setPointsVisible(true);
    for (QAbstractAxis* axis : chart->axes())
        s->attachAxis(axis);
    return s;
}

QChartView* view(QChart* chart, QWidget* parent)
{
    auto* v = new QChartView(chart, parent);
    v->setRenderHint(QPainter::Antialiasing);
    return v;
}

} // namespace

VswrPlot::VswrPlot(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("VswrPlot"));
    QChart* readings = chartWith(tr("Readings"), tr("reading (raw)"), 4096);
    QChart* ratios = chartWith(tr("Reflected / forward"), tr("ratio"), 1);
    for (int j = 0; j < 4; ++j) {
        const QString out = QStringLiteral("J%1").arg(j + 1);
        forward[std::size_t(j)] = series(readings, out + tr(" fwd"), kColours[std::size_t(j)], Qt::SolidLine);
        reflected[std::size_t(j)] =
            series(readings, out + tr(" rev"), kColours[std::size_t(j)], Qt::DashLine);
        ratio[std::size_t(j)] = series(ratios, out, kColours[std::size_t(j)], Qt::SolidLine);
    }
    readingsView = view(readings, this);
    ratioView = view(ratios, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(readingsView, 3);
    layout->addWidget(ratioView, 2);
    setMinimumSize(520, 420);
}

void VswrPlot::clear()
{
    for (auto* group : {&forward, &reflected, &ratio})
        for (QLineSeries* s : *group)
            s->clear();
    ratioMax_ = 1.0;
    ratioView->chart()->axes(Qt::Vertical).front()->setMax(ratioMax_);
}

void VswrPlot::add(double mhz, const vswr::Reading& values)
{
    // The reading holds Fwd4 Rev4 ... Fwd1 Rev1: J(j+1) is at 6 - 2j.
    for (std::size_t j = 0; j < 4; ++j) {
        const double fwd = values[6 - 2 * j];
        const double rev = values[7 - 2 * j];
        forward[j]->append(mhz, fwd);
        reflected[j]->append(mhz, rev);
        // No forward reading, no ratio: the point is left out.
        if (fwd > 0) ratio[j]->append(mhz, rev / fwd);
        // A reflection above the forward reading still shows.
        if (fwd > 0 && rev / fwd > ratioMax_) {
            ratioMax_ = rev / fwd * 1.1;
            ratioView->chart()->axes(Qt::Vertical).front()->setMax(ratioMax_);
        }
    }
}

int VswrPlot::points() const
{
    return forward[0]->count();
}

QLineSeries* addLineSeries(QChart* chart, const QString& name, const QColor& colour, Qt::PenStyle style)
{
    auto* s = new QLineSeries(chart);
    s->setName(name);
    QPen pen(colour);
    pen.setWidthF(1.8);
    pen.setStyle(style);
    s->setPen(pen);
    chart->addSeries(s);
    return s;
}

} // namespace plovan
