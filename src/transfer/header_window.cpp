#include "header_window.h"

#include "header_boxes.h"
#include "show_centred.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace plovan {

namespace {
QGroupBox* frameAround(QWidget* parent, const QString& title, const char* name, QWidget* content)
{
    auto* frame = new QGroupBox(title, parent);
    frame->setObjectName(QLatin1String(name));
    content->setParent(frame);
    (new QHBoxLayout(frame))->addWidget(content);
    return frame;
}

QLineEdit* numberBox(const char* name, const QString& text)
{
    auto* box = new QLineEdit(text);
    box->setObjectName(QLatin1String(name));
    box->setMaxLength(3);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("WWWW")));
    KeyFilter::install(box, QStringLiteral("0123456789"));
    return box;
}
} // namespace

HeaderWindow::HeaderWindow(Link& link, QWidget* parent) : QDialog(parent), link_(link)
{
    setObjectName(QStringLiteral("Header"));
    setWindowTitle(QStringLiteral("Header"));
    const header::PanelWords defaults = header::blockDefaults();
    auto* data = new QGroupBox(QStringLiteral("Data"), this);
    data->setObjectName(QStringLiteral("FrameData"));
    auto* grid = new QGridLayout(data);
    for (std::size_t k = 1; k <= Text.size(); ++k) {
        Text[k - 1] = header::wordBox(data, QStringLiteral("Text%1").arg(k), defaults[k - 1],
                                      QStringLiteral("Word %1 of each block, at block x 10000 + %1").arg(k));
        grid->addWidget(Text[k - 1], int(k - 1) / 7, int(k - 1) % 7);
    }
    Text15 = numberBox("Text15", QStringLiteral("0"));
    Text16 = numberBox("Text16", QStringLiteral("32"));
    Text17 = new QLineEdit;
    Text17->setObjectName(QStringLiteral("Text17"));
    Text17->setReadOnly(true);
    Text17->setFixedWidth(Text17->fontMetrics().horizontalAdvance(QStringLiteral("WWWW")));
    sendingFrame = frameAround(this, QStringLiteral("Sending"), "FrameSending", Text17);
    sendingFrame->setVisible(false);
    Command1 = new QPushButton(QStringLiteral("Send"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2 = new QPushButton(QStringLiteral("Return"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setAutoDefault(false);

    auto* row = new QHBoxLayout;
    row->addWidget(frameAround(this, QStringLiteral("Start"), "FrameStart", Text15));
    row->addWidget(frameAround(this, QStringLiteral("End"), "FrameEnd", Text16));
    row->addWidget(sendingFrame);
    row->addStretch();
    row->addWidget(Command1);
    row->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(data);
    layout->addLayout(row);
    connect(Command1, &QPushButton::clicked, this, &HeaderWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &HeaderWindow::Command2_Click);
}

void HeaderWindow::openWindow(bool SndBatch)
{
    SndBatch_ = SndBatch;
    showCentred(this);
    // The batch waits for the blocks; they go out once the window is drawn.
    if (SndBatch) QTimer::singleShot(0, this, &HeaderWindow::Command1_Click);
}

bool HeaderWindow::Command1_Click()
{
    if (sending_) return false;
    blocksWritten_ = false;
    stopRequested_ = false;
    std::string error;
    const auto range = header::blockRange(Text15->text().toStdString(), Text16->text().toStdString(), &error);
    const auto words = range ? header::readWords(link_, QStringLiteral("Header"), Text) : std::nullopt;
    if (!range) link_.report(QStringLiteral("Header: ") + QString::fromStdString(error) + " - nothing sent");
    if (range && words) {
        const std::vector<std::string> lines = header::blockLines(*range, *words);
        sending_ = true;
        Command1->setEnabled(false);
        sendingFrame->setVisible(true);
        // "=C", then the words of each block, with the block shown as it goes.
        blocksWritten_ = link_.sendWait(lines.front());
        const std::size_t perBlock = words->size();
        for (int b = range->start; blocksWritten_ && b <= range->end; ++b) {
            Text17->setText(QString::number(b));
            const auto first = lines.begin() + 1 + std::ptrdiff_t(perBlock) * (b - range->start);
            blocksWritten_ = link_.sendWaitEach({first, first + std::ptrdiff_t(perBlock)}) && !stopRequested_;
        }
        sendingFrame->setVisible(false);
        Command1->setEnabled(true);
        sending_ = false;
    }
    if (SndBatch_ || stopRequested_) Command2_Click();
    return blocksWritten_;
}

void HeaderWindow::Command2_Click()
{
    if (sending_) {
        // The write in progress ends; Send returns once it has.
        stopRequested_ = true;
        link_.cancelWaits();
        return;
    }
    SndBatch_ = false;
    hide();
    emit returned();
}

void HeaderWindow::reject()
{
    Command2_Click();
}

} // namespace plovan
