#include "vswr_window.h"

#include "vswr_plot.h"
#include "vswr_sweep.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace plovan {

namespace {

QLineEdit* box(const QString& name, QWidget* parent)
{
    auto* b = new QLineEdit(parent);
    b->setObjectName(name);
    b->setReadOnly(true);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("000000")));
    b->setAlignment(Qt::AlignRight);
    return b;
}

} // namespace

VswrWindow::VswrWindow(VswrSweep& sweep, QWidget* parent) : QWidget(parent), sweep_(sweep)
{
    setObjectName(QStringLiteral("frmVswr"));
    setWindowTitle(QStringLiteral("VSWR"));
    Label1 = new QLabel(QStringLiteral("Generating VSWR"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont big = Label1->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    Label1->setFont(big);
    Text9 = box(QStringLiteral("Text9"), this);
    Text9->setVisible(false);
    auto* current = new QGroupBox(QStringLiteral("Current Frequency"), this);
    Text10 = box(QStringLiteral("Text10"), current);
    (new QHBoxLayout(current))->addWidget(Text10);

    auto* readings = new QGroupBox(tr("Readings"), this);
    auto* grid = new QGridLayout(readings);
    for (int j = 0; j < 4; ++j)
        grid->addWidget(new QLabel(QStringLiteral("J%1").arg(4 - j), readings), 0, j + 1, Qt::AlignHCenter);
    grid->addWidget(new QLabel(QStringLiteral("Forward"), readings), 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Reflected"), readings), 2, 0);
    for (int n = 0; n < 8; ++n) {
        TextN[std::size_t(n)] = box(QStringLiteral("Text%1").arg(n + 1), readings);
        grid->addWidget(TextN[std::size_t(n)], 1 + n / 4, 1 + n % 4);
    }

    Command1 = new QPushButton(QStringLiteral("Next >>"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    runToEndButton = new QPushButton(tr("Run to end"), this);
    runToEndButton->setObjectName(QStringLiteral("RunToEnd"));
    runToEndButton->setToolTip(
        tr("Takes the remaining steps one after another, each once its reply is written"));
    openButton = new QPushButton(tr("Open VSWR file..."), this);
    openButton->setObjectName(QStringLiteral("OpenVswrFile"));
    plot = new VswrPlot(this);

    auto* side = new QVBoxLayout;
    side->addWidget(Label1);
    side->addWidget(current);
    side->addWidget(readings);
    side->addWidget(Command1);
    side->addWidget(runToEndButton);
    side->addStretch();
    side->addWidget(openButton);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(side);
    layout->addWidget(plot, 1);
    resize(1050, 620);

    connect(Command1, &QPushButton::clicked, this, &VswrWindow::Command1_Click);
    connect(runToEndButton, &QPushButton::clicked, this, [this] {
        emit stepping();
        setStepping(true);
        sweep_.runToEnd();
    });
    connect(openButton, &QPushButton::clicked, this, &VswrWindow::openFile);
    connect(&sweep_, &VswrSweep::stepStarted, this, [this](int mhz) {
        Text10->setText(QString::number(mhz));
        Command1->setEnabled(false);
    });
    connect(&sweep_, &VswrSweep::recorded, this, [this](int mhz, const vswr::Reading& values) {
        showReading(values);
        plot->add(mhz, values);
        Text9->setText(QString::number(sweep_.nextMHz()));
        Command1->setEnabled(sweep_.running());
    });
    connect(&sweep_, &VswrSweep::stepFailed, this, [this](int mhz, const QString& why) {
        Label1->setText(QStringLiteral("%1 MHz: %2").arg(mhz).arg(why));
        setStepping(true);
    });
    connect(&sweep_, &VswrSweep::finished, this, [this](bool complete) {
        Label1->setText(complete ? tr("VSWR recorded") : tr("VSWR stopped"));
        setStepping(false);
    });
}

void VswrWindow::openForSweep()
{
    plot->clear();
    for (QLineEdit* b : TextN)
        b->clear();
    Text10->clear();
    Text9->setText(QString::number(sweep_.nextMHz()));
    Label1->setText(QStringLiteral("Generating VSWR"));
    setStepping(true);
    if (!isVisible())
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
    activateWindow();
}

void VswrWindow::setStepping(bool sweepOpen)
{
    Command1->setEnabled(sweepOpen && !sweep_.waiting());
    runToEndButton->setEnabled(sweepOpen && !sweep_.waiting());
    openButton->setEnabled(!sweepOpen);
}

void VswrWindow::Command1_Click()
{
    if (!sweep_.running()) return;
    emit stepping();
    sweep_.step();
}

void VswrWindow::showReading(const vswr::Reading& values)
{
    // Text1 ... Text4 take Fwd4 ... Fwd1, Text5 ... Text8 Rev4 ... Rev1.
    for (std::size_t j = 0; j < 4; ++j) {
        TextN[j]->setText(QString::number(values[2 * j]));
        TextN[4 + j]->setText(QString::number(values[2 * j + 1]));
    }
}

void VswrWindow::openFile()
{
    const QString path = chooseFileToShow ? chooseFileToShow() : QString();
    if (path.isEmpty()) return;
    std::string error;
    const std::optional<vswr::FileRead> read = vswr::readFile(QFile::encodeName(path).toStdString(), &error);
    if (!read) {
        if (warn) warn(windowTitle(), path + QStringLiteral(": ") + QString::fromLocal8Bit(error.c_str()));
        return;
    }
    plot->clear();
    for (const vswr::Row& row : read->rows)
        plot->add(row.mhz, row.values);
    if (!read->rows.empty()) showReading(read->rows.back().values);
    Label1->setText(QFileInfo(path).fileName());
    if (!read->notes.empty() && warn) {
        QStringList notes;
        for (const std::string& n : read->notes)
            notes << QString::fromStdString(n);
        warn(windowTitle(), path + QStringLiteral(":\n") + notes.join(QLatin1Char('\n')));
    }
}

void VswrWindow::closeEvent(QCloseEvent* event)
{
    sweep_.stop();
    event->accept();
    emit closed();
}

} // namespace plovan
