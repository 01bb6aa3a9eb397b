#include "cal_wizard.h"

#include "cal_player.h"
#include "hex_text.h"
#include "line_file.h"
#include "unit_session.h"

#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <cmath>

namespace plovan {

namespace {

const QString kTitle = QStringLiteral("Calibration wizard");
const QString kCalFilter = QStringLiteral("Velmar calibration Files (*.CAL)|*.CAL|All Files (*.*)|*.*");
const QString kCsvFilter = QStringLiteral("Measured response (*.csv)|*.csv|All Files (*.*)|*.*");
constexpr int kMaxSteps = 1000;

QString qstr(const std::string& s)
{
    return QString::fromStdString(s);
}

std::string path(const QLineEdit* box)
{
    return QFile::encodeName(box->text().trimmed()).toStdString();
}

std::optional<double> typedNumber(const QLineEdit* box)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(box->text().trimmed(), &ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

QLineEdit* box(const char* name, const QString& text, QWidget* parent, int chars = 0)
{
    auto* b = new QLineEdit(text, parent);
    b->setObjectName(QLatin1String(name));
    if (chars) b->setFixedWidth(b->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('0'))) + 12);
    return b;
}

QPushButton* button(const char* name, const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

// A path box with its "Browse..." button.
QHBoxLayout* fileRow(QLineEdit* path, QPushButton* browse)
{
    auto* row = new QHBoxLayout;
    row->addWidget(path, 1);
    row->addWidget(browse);
    return row;
}

// The preview: levels on the left axis, the amplitude words on the right.
QChart* previewChart(const flatten::Plan& plan, const flatten::Loaded& in, bool db)
{
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Measured and predicted level, old and new amplitude words"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    QFont small = chart->legend()->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    chart->legend()->setFont(small);
    chart->setMargins(QMargins(4, 4, 4, 4));
    const auto shown = [db](double level) { return db ? 10 * std::log10(level) : level; };
    const auto usable = [db](double level) { return std::isfinite(level) && (!db || level > 0); };
    const double margin = (plan.bandHigh - plan.bandLow) * 0.05;
    const double low = plan.bandLow - margin, high = plan.bandHigh + margin;

    auto* x = new QValueAxis(chart);
    x->setTitleText(QStringLiteral("Frequency (MHz)"));
    x->setRange(low, high);
    // Ticks at round frequencies: 1, 2 or 5 times a power of ten, four to ten of them.
    const double raw = std::max((high - low) / 5, 1e-3), decade = std::pow(10.0, std::floor(std::log10(raw)));
    const double tick = raw / decade < 2 ? decade : raw / decade < 5 ? 2 * decade : 5 * decade;
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(0);
    x->setTickInterval(tick);
    x->setLabelFormat(tick >= 1 ? QStringLiteral("%.0f") : QStringLiteral("%.2f"));
    auto* levels = new QValueAxis(chart);
    levels->setTitleText(db ? QStringLiteral("Level (dB, as measured)")
                            : QStringLiteral("Level (as measured)"));
    auto* words = new QValueAxis(chart);
    words->setTitleText(QStringLiteral("Amplitude word (0-4095)"));
    words->setRange(0, 4095);
    words->setTickType(QValueAxis::TicksDynamic);
    words->setTickAnchor(0);
    words->setTickInterval(1000);
    words->setLabelFormat(QStringLiteral("%.0f"));
    words->setGridLineVisible(false);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(levels, Qt::AlignLeft);
    chart->addAxis(words, Qt::AlignRight);

    double top = -1e300, bottom = 1e300;
    const auto add = [&](QLineSeries* s, QValueAxis* y, const QString& name, QColor colour,
                         Qt::PenStyle style) {
        s->setName(name);
        QPen pen(colour, 2, style);
        s->setPen(pen);
        chart->addSeries(s);
        s->attachAxis(x);
        s->attachAxis(y);
        if (y == levels)
            for (const QPointF& p : s->points()) {
                top = std::max(top, p.y());
                bottom = std::min(bottom, p.y());
            }
    };
    const QList<QColor> measuredColours{QColor(0, 90, 200), QColor(0, 150, 220), QColor(90, 170, 255),
                                        QColor(120, 120, 220)};
    for (int c = 0; c < in.measured.columns(); ++c) {
        auto* s = new QLineSeries(chart);
        s->setPointsVisible(true);
        for (std::size_t k = 0; k < in.measured.mhz.size(); ++k)
            if (usable(in.measured.levels[k][std::size_t(c)]))
                s->append(in.measured.mhz[k], shown(in.measured.levels[k][std::size_t(c)]));
        const QString name =
            in.measured.words.empty()
                ? QStringLiteral("Measured (old table)")
                : QStringLiteral("Measured A=%1").arg(qstr(hex4(in.measured.words[std::size_t(c)])));
        add(s, levels, name, measuredColours[c % measuredColours.size()], Qt::SolidLine);
    }
    auto* predicted = new QLineSeries(chart);
    auto* target = new QLineSeries(chart);
    auto* oldWords = new QLineSeries(chart);
    auto* newWords = new QLineSeries(chart);
    for (int i = 0; i < kCalLocations; ++i) {
        const std::size_t r = std::size_t(i);
        const double f = flatten::locationMHz(i);
        if (f < low || f > high) continue;
        if (usable(plan.predicted[r])) predicted->append(f, shown(plan.predicted[r]));
        if (usable(plan.target[r])) target->append(f, shown(plan.target[r]));
        const std::int64_t before = HexValue(in.old[r].amplitude), after = HexValue(plan.rows[r].amplitude);
        if (before >= 0) oldWords->append(f, double(before));
        if (after >= 0) newWords->append(f, double(after));
    }
    add(predicted, levels, QStringLiteral("Predicted"), QColor(0, 160, 60), Qt::SolidLine);
    add(target, levels, QStringLiteral("Target"), QColor(0, 160, 60), Qt::DotLine);
    add(oldWords, words, QStringLiteral("Old word"), QColor(150, 150, 150), Qt::DashLine);
    add(newWords, words, QStringLiteral("New word"), QColor(200, 60, 30), Qt::DashLine);
    if (top >= bottom) {
        const double pad = std::max((top - bottom) * 0.08, std::abs(top) * 0.01 + 1e-12);
        levels->setRange(db ? bottom - pad : std::max(0.0, bottom - pad), top + pad);
    }
    levels->applyNiceNumbers();
    return chart;
}

} // namespace

CalWizard::CalWizard(UnitSession& session, const Dialogs& dialogs, std::function<void(const QString&)> send,
                     QWidget* parent)
    : QDialog(parent), session_(&session), dialogs_(dialogs), sendLut_(std::move(send))
{
    setObjectName(QStringLiteral("CalWizard"));
    setWindowTitle(kTitle);

    // 1. The measured response.
    auto* measuredBox = new QGroupBox(QStringLiteral("1. Measured response"), this);
    measuredPath = box("measuredPath", {}, measuredBox);
    measuredPath->setPlaceholderText(QStringLiteral("MHz,level or MHz,A=0FFF,A=0800,... (CSV)"));
    chooseMeasured = button("chooseMeasured", QStringLiteral("Browse..."), measuredBox);
    db = new QCheckBox(QStringLiteral("Levels in dB"), measuredBox);
    db->setObjectName(QStringLiteral("db"));
    fromMHz = box("fromMHz", QStringLiteral("60"), measuredBox, 6);
    toMHz = box("toMHz", QStringLiteral("100"), measuredBox, 6);
    stepMHz = box("stepMHz", QStringLiteral("2"), measuredBox, 6);
    word = box("word", QStringLiteral("0800"), measuredBox, 5);
    start = button("start", QStringLiteral("Measure..."), measuredBox);
    start->setToolTip(QStringLiteral("Plays each frequency on the unit at this amplitude word; type each "
                                     "reading and press Next"));
    reading = box("reading", {}, measuredBox, 8);
    next = button("next", QStringLiteral("Next"), measuredBox);
    stop = button("stop", QStringLiteral("Stop"), measuredBox);
    measureStatus = new QLabel(measuredBox);
    measureStatus->setObjectName(QStringLiteral("measureStatus"));
    measureStatus->setWordWrap(true);
    auto* band = new QHBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{new QLabel(QStringLiteral("From"), measuredBox), fromMHz,
                                         new QLabel(QStringLiteral("to"), measuredBox), toMHz,
                                         new QLabel(QStringLiteral("MHz, every"), measuredBox), stepMHz,
                                         new QLabel(QStringLiteral("MHz"), measuredBox)})
        band->addWidget(w);
    band->addStretch();
    auto* play = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{
             new QLabel(QStringLiteral("at A="), measuredBox), word, start,
             new QLabel(QStringLiteral("Reading"), measuredBox), reading, next, stop})
        play->addWidget(w);
    play->addStretch();
    auto* measuredLayout = new QVBoxLayout(measuredBox);
    measuredLayout->addLayout(fileRow(measuredPath, chooseMeasured));
    measuredLayout->addWidget(db);
    measuredLayout->addWidget(new QLabel(QStringLiteral("or measure it now:"), measuredBox));
    measuredLayout->addLayout(band);
    measuredLayout->addLayout(play);
    measuredLayout->addWidget(measureStatus);

    // 2. The old table.
    auto* calBox = new QGroupBox(QStringLiteral("2. Old calibration table"), this);
    calPath = box("calPath", {}, calBox);
    chooseCal = button("chooseCal", QStringLiteral("Browse..."), calBox);
    (new QVBoxLayout(calBox))->addLayout(fileRow(calPath, chooseCal));

    // 3. The target.
    auto* targetBox = new QGroupBox(QStringLiteral("3. Target"), this);
    targetMax =
        new QRadioButton(QStringLiteral("Flat at the highest level every frequency can reach"), targetBox);
    targetMax->setObjectName(QStringLiteral("targetMax"));
    targetMax->setChecked(true);
    targetLevel = new QRadioButton(QStringLiteral("Flat at level"), targetBox);
    targetLevel->setObjectName(QStringLiteral("targetLevel"));
    level = box("level", {}, targetBox, 8);
    targetShape = new QRadioButton(QStringLiteral("Shape (MHz,level)"), targetBox);
    targetShape->setObjectName(QStringLiteral("targetShape"));
    shapePath = box("shapePath", {}, targetBox);
    chooseShape = button("chooseShape", QStringLiteral("Browse..."), targetBox);
    auto* targetLayout = new QVBoxLayout(targetBox);
    targetLayout->addWidget(targetMax);
    auto* levelRow = new QHBoxLayout;
    levelRow->addWidget(targetLevel);
    levelRow->addWidget(level);
    levelRow->addStretch();
    targetLayout->addLayout(levelRow);
    auto* shapeRow = fileRow(shapePath, chooseShape);
    shapeRow->insertWidget(0, targetShape);
    targetLayout->addLayout(shapeRow);

    preview = button("preview", QStringLiteral("Preview"), this);
    report = new QPlainTextEdit(this);
    report->setObjectName(QStringLiteral("report"));
    report->setReadOnly(true);
    report->setMinimumHeight(report->fontMetrics().height() * 6);
    save = button("save", QStringLiteral("Save new table..."), this);
    sendLut = button("sendLut", QStringLiteral("Send LUT"), this);
    auto* close = button("close", QStringLiteral("Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(preview);
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(sendLut);
    buttons->addWidget(close);

    auto* inputs = new QVBoxLayout;
    inputs->addWidget(measuredBox);
    inputs->addWidget(calBox);
    inputs->addWidget(targetBox);
    inputs->addWidget(report, 1);

    plot = new QChartView(this);
    plot->setObjectName(QStringLiteral("preview"));
    plot->setRenderHint(QPainter::Antialiasing);
    plot->setMinimumWidth(520);
    flatness = new QLabel(this);
    flatness->setObjectName(QStringLiteral("flatness"));
    flatness->setWordWrap(true);
    auto* right = new QVBoxLayout;
    right->addWidget(plot, 1);
    right->addWidget(flatness);

    auto* top = new QHBoxLayout;
    top->addLayout(inputs);
    top->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    resize(1200, 700);

    // Return in the reading box is "Next", never a button of the dialog's own.
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);

    connect(chooseMeasured, &QPushButton::clicked, this, [this] {
        if (const QString p = chooseOpen(QStringLiteral("Measured response"), kCsvFilter); !p.isEmpty())
            measuredPath->setText(p);
    });
    connect(chooseCal, &QPushButton::clicked, this, [this] {
        if (const QString p = chooseOpen(QStringLiteral("Old calibration table"), kCalFilter); !p.isEmpty())
            calPath->setText(p);
    });
    connect(chooseShape, &QPushButton::clicked, this, [this] {
        if (const QString p = chooseOpen(QStringLiteral("Target shape"), kCsvFilter); !p.isEmpty()) {
            shapePath->setText(p);
            targetShape->setChecked(true);
        }
    });
    for (QLineEdit* b : {measuredPath, calPath, level, shapePath})
        connect(b, &QLineEdit::textChanged, this, &CalWizard::inputsChanged);
    for (QAbstractButton* b :
         std::initializer_list<QAbstractButton*>{db, targetMax, targetLevel, targetShape})
        connect(b, &QAbstractButton::toggled, this, &CalWizard::inputsChanged);
    connect(preview, &QPushButton::clicked, this, &CalWizard::Preview);
    connect(save, &QPushButton::clicked, this, &CalWizard::Save);
    connect(sendLut, &QPushButton::clicked, this, [this] {
        if (!saved_.isEmpty() && sendLut_) sendLut_(saved_);
    });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(start, &QPushButton::clicked, this, &CalWizard::startMeasuring);
    connect(next, &QPushButton::clicked, this, &CalWizard::Next);
    connect(reading, &QLineEdit::returnPressed, this, &CalWizard::Next);
    connect(stop, &QPushButton::clicked, this, &CalWizard::stopMeasuring);
    stopMeasuring();
    inputsChanged();
}

CalWizard::~CalWizard()
{
    stopMeasuring();
}

QString CalWizard::chooseOpen(const QString& title, const QString& filter)
{
    return dialogs_.chooseFileToOpen ? dialogs_.chooseFileToOpen(title, filter) : QString();
}

void CalWizard::inputsChanged()
{
    // What was previewed no longer stands for the inputs.
    plan_.reset();
    save->setEnabled(false);
    sendLut->setEnabled(!saved_.isEmpty());
}

bool CalWizard::Preview()
{
    flatten::Inputs in;
    in.measured = path(measuredPath);
    in.cal = path(calPath);
    in.db = db->isChecked();
    if (targetLevel->isChecked()) {
        in.kind = flatten::Target::Level;
        in.level = typedNumber(level).value_or(0);
    }
    else if (targetShape->isChecked()) {
        in.kind = flatten::Target::Shape;
        in.shape = path(shapePath);
    }
    inputsChanged();
    QStringList missing;
    if (in.measured.empty()) missing << QStringLiteral("Choose the measured response (or measure it).");
    if (in.cal.empty()) missing << QStringLiteral("Choose the old calibration table.");
    if (in.kind == flatten::Target::Shape && in.shape.empty())
        missing << QStringLiteral("Choose the shape file.");
    if (!missing.isEmpty()) {
        report->setPlainText(missing.join(QLatin1Char('\n')));
        return false;
    }
    const flatten::Loaded loaded = flatten::load(in);
    if (!loaded.findings.empty()) {
        QStringList lines;
        for (const std::string& f : loaded.findings)
            lines << qstr(f);
        report->setPlainText(lines.join(QLatin1Char('\n')) + QStringLiteral("\n\nNothing computed."));
        flatness->clear();
        return false;
    }
    target_ = loaded.target;
    plan_ = flatten::flatten(loaded.old, loaded.measured, loaded.target);
    showPlan(loaded);
    save->setEnabled(true);
    return true;
}

void CalWizard::showPlan(const flatten::Loaded& loaded)
{
    QStringList lines;
    for (const std::string& line : flatten::summary(*plan_, target_))
        lines << qstr(line);
    report->setPlainText(lines.join(QLatin1Char('\n')));
    flatness->setText(QStringLiteral("Predicted flatness over %1-%2 MHz: max/min %3; now %4")
                          .arg(QString::number(plan_->bandLow, 'f', 2),
                               QString::number(plan_->bandHigh, 'f', 2),
                               qstr(flatten::spreadText(plan_->predictedSpread)),
                               qstr(flatten::spreadText(plan_->measuredSpread))));
    QChart* old = plot->chart();
    plot->setChart(previewChart(*plan_, loaded, db->isChecked()));
    delete old;
}

bool CalWizard::Save()
{
    if (!plan_) return false;
    const QString start =
        QFileInfo(calPath->text().trimmed())
            .dir()
            .filePath(QFileInfo(calPath->text().trimmed()).completeBaseName() + QStringLiteral("-flat.cal"));
    const QString out =
        chooseFileToWrite(dialogs_, QStringLiteral("Save the new calibration table"), kCalFilter, start);
    if (out.isEmpty()) return false;
    const FileStatus written = writeCalFile(out, plan_->rows);
    if (!written.ok()) {
        dialogs_.warn(kTitle, written.error);
        return false;
    }
    saved_ = out;
    sendLut->setEnabled(true);
    report->appendPlainText(QStringLiteral("written: %1").arg(out));
    if (dialogs_.askYesNo(kTitle, QStringLiteral("%1 written.\n\nSend LUT now?").arg(out)) && sendLut_)
        sendLut_(out);
    return true;
}

// --- the guided measurement ---

bool CalWizard::startMeasuring()
{
    if (measuring()) return false;
    const auto from = typedNumber(fromMHz), to = typedNumber(toMHz), step = typedNumber(stepMHz);
    const std::int64_t w =
        word->text().trimmed().size() <= 4 ? HexValue(word->text().trimmed().toStdString()) : -1;
    if (!from || !to || !step || *from < 0 || *to <= *from || *step <= 0 ||
        (*to - *from) / *step >= kMaxSteps) {
        say(QStringLiteral(
                "Give a band (from below to, in MHz) and a step above 0 that make at most %1 frequencies")
                .arg(kMaxSteps));
        return false;
    }
    if (w < 0 || w > 0x0FFF) {
        say(QStringLiteral("Give the amplitude word in hex, 0-0FFF"));
        return false;
    }
    if (calPath->text().trimmed().isEmpty()) {
        say(QStringLiteral("Choose the old calibration table first: the readings are saved beside it"));
        return false;
    }
    band_.clear();
    for (int k = 0; *from + k * *step <= *to + 1e-9; ++k)
        band_.push_back(*from + k * *step);
    word_ = int(w);
    readings_.clear();
    if (!session_->begin(Job::CalPlay, [this] { stopMeasuring(); })) {
        say(session_->busyMessage());
        return false;
    }
    step_ = 0;
    for (QWidget* b : std::initializer_list<QWidget*>{start, fromMHz, toMHz, stepMHz, word})
        b->setEnabled(false);
    for (QWidget* b : std::initializer_list<QWidget*>{next, stop, reading})
        b->setEnabled(true);
    playStep();
    return true;
}

bool CalWizard::playStep()
{
    const double mhz = band_[std::size_t(step_)];
    const std::string text = flatten::numberText(mhz, 10);
    const auto lines = cal::initLines(text, CalRow{hex4(word_), "0000"}, session_->state.ClkFreq);
    // One play at a time: Next waits until the unit has answered.
    next->setEnabled(false);
    playing_ = true;
    played_ = lines && session_->link.sendWaitEach(*lines);
    playing_ = false;
    next->setEnabled(measuring());
    if (closeAfterPlay_) QTimer::singleShot(0, this, &QWidget::close);
    if (!measuring()) return false;
    if (!played_) {
        say(lines ? QStringLiteral("The unit did not answer at %1 MHz: press Next to play it again")
                        .arg(qstr(text))
                  : QStringLiteral("%1 MHz cannot be played at this clock").arg(qstr(text)));
        return false;
    }
    say(QStringLiteral("Playing %1 MHz at A=%2 (%3 of %4): type the reading, then Next")
            .arg(qstr(text), qstr(hex4(word_)))
            .arg(step_ + 1)
            .arg(band_.size()));
    reading->clear();
    reading->setFocus();
    return true;
}

void CalWizard::Next()
{
    if (!measuring()) return;
    if (!played_) {
        playStep();
        return;
    }
    const std::optional<double> v = typedNumber(reading);
    if (!v || (!db->isChecked() && *v < 0)) {
        say(QStringLiteral("Type the reading as a number with \".\" as decimal point%1")
                .arg(db->isChecked() ? QString() : QStringLiteral(", 0 or more")));
        return;
    }
    readings_ << QString::fromStdString(flatten::numberText(*v, 10));
    if (++step_ < int(band_.size())) {
        playStep();
        return;
    }
    finishMeasuring();
}

void CalWizard::finishMeasuring()
{
    const std::vector<double> band = band_;
    const QStringList readings = readings_;
    const int w = word_;
    stopMeasuring();
    say(QStringLiteral("All %1 readings taken: choose where to save them").arg(readings.size()));
    const QFileInfo cal(calPath->text().trimmed());
    const QString out =
        chooseFileToWrite(dialogs_, QStringLiteral("Save the readings"), kCsvFilter,
                          cal.dir().filePath(cal.completeBaseName() + QStringLiteral("-measured.csv")));
    if (out.isEmpty()) {
        say(QStringLiteral("The readings were not saved"));
        return;
    }
    LineFile file;
    FileStatus s = file.open(out, LineFile::Whole);
    const auto line = [&](const std::string& text) {
        if (s.ok()) s = file.writeLine(text);
    };
    line("# Measured with the calibration wizard" + std::string(db->isChecked() ? ", levels in dB" : ""));
    line("MHz,A=" + hex4(w));
    for (std::size_t k = 0; k < band.size(); ++k)
        line(flatten::numberText(band[k], 10) + "," + readings[qsizetype(k)].toStdString());
    if (s.ok()) s = file.close();
    if (!s.ok()) {
        dialogs_.warn(kTitle, s.error);
        return;
    }
    say(QStringLiteral("Readings saved in %1").arg(out));
    measuredPath->setText(out);
    Preview();
}

void CalWizard::stopMeasuring()
{
    if (measuring()) {
        step_ = -1;
        // A play waiting for the unit ends at once.
        if (session_ && playing_) session_->link.cancelWaits();
        if (session_) session_->end(Job::CalPlay);
        say(QStringLiteral("Measurement stopped"));
    }
    for (QWidget* b : std::initializer_list<QWidget*>{start, fromMHz, toMHz, stepMHz, word})
        b->setEnabled(true);
    for (QWidget* b : std::initializer_list<QWidget*>{next, stop, reading})
        b->setEnabled(false);
}

void CalWizard::say(const QString& text)
{
    measureStatus->setText(text);
}

void CalWizard::closeEvent(QCloseEvent* event)
{
    stopMeasuring();
    // Not while a play waits for the unit: the window closes once it returns.
    closeAfterPlay_ = playing_;
    if (playing_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace plovan
