#include "traffic_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace plovan {

TrafficWindow::TrafficWindow(const TrafficRecorder& recorder, QWidget* parent)
    : QWidget(parent, Qt::Window), recorder_(recorder)
{
    setObjectName(QStringLiteral("TrafficWindow"));
    setWindowTitle(QStringLiteral("Traffic"));
    filter_ = new QComboBox(this);
    filter_->setObjectName(QStringLiteral("TrafficFilter"));
    filter_->setEditable(false);
    filter_->addItem(QStringLiteral("All sources"));
    for (const char* source :
         {"window", "load", "monitor", "Connect", "VSWR sweep", "calibration row play", "poll loop"})
        filter_->addItem(QLatin1String(source));
    pause_ = new QCheckBox(QStringLiteral("Pause"), this);
    auto* saveButton = new QPushButton(QStringLiteral("Save as text..."), this);
    count_ = new QLabel(this);
    view_ = new QPlainTextEdit(this);
    view_->setReadOnly(true);
    view_->setMaximumBlockCount(int(TrafficRing::kDefaultCapacity));
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Source:"), this));
    top->addWidget(filter_);
    top->addWidget(pause_);
    top->addWidget(saveButton);
    top->addWidget(count_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(view_);
    resize(800, 500);

    connect(&recorder_, &TrafficRecorder::added, this, &TrafficWindow::add);
    connect(filter_, &QComboBox::currentIndexChanged, this, &TrafficWindow::rebuild);
    connect(pause_, &QCheckBox::toggled, this, [this](bool paused) {
        if (!paused) rebuild(); // catch up with what came meanwhile
    });
    connect(saveButton, &QPushButton::clicked, this, &TrafficWindow::saveClicked);
    rebuild();
}

void TrafficWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    rebuild(); // lines that came while it was closed
}

bool TrafficWindow::shown(const TrafficLine& line) const
{
    return filter_->currentIndex() <= 0 || line.source == filter_->currentText();
}

void TrafficWindow::add(const TrafficLine& line)
{
    if (pause_->isChecked() || !isVisible()) return;
    if (shown(line)) view_->appendPlainText(trafficText(line));
    count_->setText(QStringLiteral("%1 lines kept").arg(recorder_.ring().size() + 1));
}

void TrafficWindow::rebuild()
{
    QStringList lines;
    const TrafficRing& ring = recorder_.ring();
    for (std::size_t i = 0; i < ring.size(); ++i)
        if (shown(ring.at(i))) lines << trafficText(ring.at(i));
    view_->setPlainText(lines.join(QLatin1Char('\n')));
    view_->moveCursor(QTextCursor::End);
    count_->setText(QStringLiteral("%1 lines kept").arg(ring.size()));
}

bool TrafficWindow::save(const QString& path, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error) *error = file.errorString();
        return false;
    }
    const TrafficRing& ring = recorder_.ring();
    for (std::size_t i = 0; i < ring.size(); ++i)
        if (shown(ring.at(i))) file.write(trafficText(ring.at(i)).toUtf8() + '\n');
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

void TrafficWindow::saveClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save traffic"), QString(),
                                                      QStringLiteral("Text files (*.txt)"));
    if (path.isEmpty()) return;
    QString error;
    if (!save(path, &error))
        QMessageBox::warning(this, windowTitle(), QStringLiteral("Cannot write %1: %2").arg(path, error));
}

} // namespace plovan
