#include "power_monitor_window.h"

#include "vswr_plot.h"

#include <QChart>
#include <QChartView>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QValueAxis>

namespace plovan {

namespace {

const std::array<QColor, 4> kColours{QColor(0x1f, 0x77, 0xb4), QColor(0x2c, 0xa0, 0x2c),
                                     QColor(0x94, 0x67, 0xbd), QColor(0xff, 0x7f, 0x0e)};

QValueAxis* axis(QChart* chart, const QString& title, Qt::Alignment where)
{
    auto* a = new QValueAxis(chart);
    a->setTitleText(title);
    chart->addAxis(a, where);
    return a;
}

// Points older than the chart's span go; the series stays small.
void trim(QLineSeries* s, double oldest)
{
    int drop = 0;
    while (drop < s->count() && s->at(drop).x() < oldest)
        ++drop;
    if (drop > 0) s->removePoints(0, drop);
}

} // namespace

PowerMonitorWindow::PowerMonitorWindow(PowerMonitor& monitor, QWidget* parent)
    : QWidget(parent, Qt::Window), monitor_(monitor)
{
    setObjectName(QStringLiteral("PowerMonitorWindow"));
    setWindowTitle(QStringLiteral("Power monitor"));

    banner_ = new QWidget(this);
    banner_->setObjectName(QStringLiteral("InterlockBanner"));
    banner_->setStyleSheet(QStringLiteral("#InterlockBanner { background: #c00000; } QLabel { color: white; "
                                          "font-weight: bold; }"));
    banner_->setAttribute(Qt::WA_StyledBackground);
    bannerText_ = new QLabel(banner_);
    auto* ack = new QPushButton(QStringLiteral("Acknowledge"), banner_);
    ack->setObjectName(QStringLiteral("AcknowledgeButton"));
    auto* bannerRow = new QHBoxLayout(banner_);
    bannerRow->addWidget(bannerText_, 1);
    bannerRow->addWidget(ack);
    banner_->hide();
    connect(ack, &QPushButton::clicked, this, &PowerMonitorWindow::acknowledge);

    interval_ = new QDoubleSpinBox(this);
    interval_->setRange(PowerMonitor::kMinIntervalMs / 1000.0, PowerMonitor::kMaxIntervalMs / 1000.0);
    interval_->setDecimals(1);
    interval_->setSingleStep(0.1);
    interval_->setSuffix(QStringLiteral(" s"));
    interval_->setValue(monitor.intervalMs() / 1000.0);
    trip_ = new QDoubleSpinBox(this);
    trip_->setRange(0.01, 10);
    trip_->setDecimals(2);
    trip_->setSingleStep(0.05);
    trip_->setValue(monitor.rule().settings().tripRatio);
    count_ = new QSpinBox(this);
    count_->setRange(1, 100);
    count_->setValue(monitor.rule().settings().count);
    run_ = new QPushButton(QStringLiteral("Start"), this);
    run_->setObjectName(QStringLiteral("MonitorStart"));
    recordButton_ = new QPushButton(QStringLiteral("Record CSV..."), this);
    recordButton_->setCheckable(true);
    state_ = new QLabel(this);
    auto* settings = new QHBoxLayout;
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Interval:"), interval_);
    auto* form2 = new QFormLayout;
    form2->addRow(QStringLiteral("Trip ratio:"), trip_);
    auto* form3 = new QFormLayout;
    form3->addRow(QStringLiteral("Readings in a row:"), count_);
    settings->addLayout(form);
    settings->addLayout(form2);
    settings->addLayout(form3);
    settings->addWidget(run_);
    settings->addWidget(recordButton_);
    settings->addWidget(state_, 1);
    connect(run_, &QPushButton::clicked, this, &PowerMonitorWindow::startStop);
    connect(recordButton_, &QPushButton::toggled, this, &PowerMonitorWindow::record);
    connect(interval_, &QDoubleSpinBox::valueChanged, this, &PowerMonitorWindow::applySettings);
    connect(trip_, &QDoubleSpinBox::valueChanged, this, &PowerMonitorWindow::applySettings);
    connect(count_, &QSpinBox::valueChanged, this, &PowerMonitorWindow::applySettings);

    levels_ = new QChart;
    levels_->setTitle(QStringLiteral("Forward (solid) and reflected (dashed) readings"));
    ratios_ = new QChart;
    ratios_->setTitle(QStringLiteral("Reflected / forward"));
    levelTime_ = axis(levels_, QStringLiteral("Time (s)"), Qt::AlignBottom);
    levelAxis_ = axis(levels_, QStringLiteral("Reading (counts)"), Qt::AlignLeft);
    ratioTime_ = axis(ratios_, QStringLiteral("Time (s)"), Qt::AlignBottom);
    ratioAxis_ = axis(ratios_, QStringLiteral("Raw ratio"), Qt::AlignLeft);
    levelAxis_->setRange(0, 4096);
    ratioAxis_->setRange(0, 1);
    for (int i = 0; i < 4; ++i) {
        const QString j = QStringLiteral("J%1").arg(i + 1);
        forward_[std::size_t(i)] =
            addLineSeries(levels_, j + QStringLiteral(" fwd"), kColours[std::size_t(i)], Qt::SolidLine);
        reflected_[std::size_t(i)] =
            addLineSeries(levels_, j + QStringLiteral(" refl"), kColours[std::size_t(i)], Qt::DashLine);
        ratio_[std::size_t(i)] = addLineSeries(ratios_, j, kColours[std::size_t(i)], Qt::SolidLine);
    }
    tripLevel_ = addLineSeries(ratios_, QStringLiteral("trip level"), QColor(0xc0, 0, 0), Qt::DashDotLine);
    for (auto* s : levels_->series()) {
        s->attachAxis(levelTime_);
        s->attachAxis(levelAxis_);
    }
    for (auto* s : ratios_->series()) {
        s->attachAxis(ratioTime_);
        s->attachAxis(ratioAxis_);
    }
    levelTime_->setRange(-kSpanSeconds, 0);
    ratioTime_->setRange(-kSpanSeconds, 0);
    auto* levelView = new QChartView(levels_, this);
    levelView->setRenderHint(QPainter::Antialiasing);
    auto* ratioView = new QChartView(ratios_, this);
    ratioView->setRenderHint(QPainter::Antialiasing);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner_);
    layout->addLayout(settings);
    layout->addWidget(levelView, 3);
    layout->addWidget(ratioView, 2);
    resize(900, 700);

    connect(&monitor_, &PowerMonitor::reading, this, &PowerMonitorWindow::add);
    connect(&monitor_, &PowerMonitor::tripped, this, &PowerMonitorWindow::showTrip);
    connect(&monitor_, &PowerMonitor::pollFailed, state_, &QLabel::setText);
    applySettings();
}

void PowerMonitorWindow::applySettings()
{
    monitor_.setIntervalMs(int(interval_->value() * 1000));
    InterlockSettings rule = monitor_.rule().settings();
    rule.tripRatio = trip_->value();
    rule.count = count_->value();
    // A new level starts the count afresh; a trip in force stays until acknowledged.
    if (!monitor_.rule().latched()) monitor_.setInterlock(rule);
    ratioAxis_->setRange(0, std::max(1.0, rule.tripRatio * 1.5));
    const double now = started_.isValid() ? started_.msecsTo(QDateTime::currentDateTime()) / 1000.0 : 0;
    tripLevel_->replace({QPointF(now - kSpanSeconds, rule.tripRatio), QPointF(now, rule.tripRatio)});
}

void PowerMonitorWindow::startStop()
{
    if (monitor_.running()) {
        monitor_.stop();
        run_->setText(QStringLiteral("Start"));
        state_->setText(QStringLiteral("Stopped"));
        return;
    }
    if (!started_.isValid()) started_ = QDateTime::currentDateTime();
    monitor_.start();
    monitor_.pollNow();
    run_->setText(QStringLiteral("Stop"));
    state_->setText(QStringLiteral("Polling =AV"));
}

void PowerMonitorWindow::record(bool on)
{
    if (!on) {
        csv_.close();
        recordButton_->setText(QStringLiteral("Record CSV..."));
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Record readings"), QString(),
                                                      QStringLiteral("CSV files (*.csv)"));
    csv_.setFileName(path);
    if (path.isEmpty() || !csv_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (!path.isEmpty())
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("Cannot write %1: %2").arg(path, csv_.errorString()));
        QSignalBlocker block(recordButton_);
        recordButton_->setChecked(false);
        return;
    }
    QStringList head{QStringLiteral("time")};
    for (int output = 1; output <= 4; ++output)
        head << QStringLiteral("J%1 forward").arg(output) << QStringLiteral("J%1 reflected").arg(output);
    csv_.write(head.join(QLatin1Char(',')).toUtf8() + '\n');
    csv_.flush();
    recordButton_->setText(QStringLiteral("Stop recording"));
}

void PowerMonitorWindow::add(const QDateTime& when, const vswr::Reading& values)
{
    if (!started_.isValid()) started_ = when;
    const double t = started_.msecsTo(when) / 1000.0;
    const int floor = monitor_.rule().settings().minForward;
    for (int output = 1; output <= 4; ++output) {
        const std::size_t i = std::size_t(output - 1);
        forward_[i]->append(t, forwardOf(values, output));
        reflected_[i]->append(t, reflectedOf(values, output));
        if (const auto r = ratioOf(values, output, floor)) ratio_[i]->append(t, *r);
        for (QLineSeries* s : {forward_[i], reflected_[i], ratio_[i]})
            trim(s, t - kSpanSeconds);
    }
    levelTime_->setRange(std::max(0.0, t - kSpanSeconds), std::max(t, 10.0));
    ratioTime_->setRange(std::max(0.0, t - kSpanSeconds), std::max(t, 10.0));
    const double level = monitor_.rule().settings().tripRatio;
    tripLevel_->replace({QPointF(std::max(0.0, t - kSpanSeconds), level), QPointF(std::max(t, 10.0), level)});
    if (csv_.isOpen()) {
        QStringList fields{when.toString(Qt::ISODateWithMs)};
        for (int output = 1; output <= 4; ++output)
            fields << QString::number(forwardOf(values, output))
                   << QString::number(reflectedOf(values, output));
        csv_.write(fields.join(QLatin1Char(',')).toUtf8() + '\n');
        if (!csv_.flush()) {
            state_->setText(QStringLiteral("Recording stopped: ") + csv_.errorString());
            recordButton_->setChecked(false);
        }
    }
    state_->setText(QStringLiteral("Last reading %1").arg(when.toString(QStringLiteral("HH:mm:ss"))));
}

void PowerMonitorWindow::showTrip(const QString& line)
{
    bannerText_->setText(line + QStringLiteral(". RF on is refused until you acknowledge."));
    banner_->show();
    show();
    raise();
}

void PowerMonitorWindow::acknowledge()
{
    monitor_.acknowledge();
    banner_->hide();
    applySettings();
}

} // namespace plovan
