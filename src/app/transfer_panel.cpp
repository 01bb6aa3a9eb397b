#include "transfer_panel.h"

#include "transfer_runner.h"
#include "usb_route.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace plovan {

TransferPanel::TransferPanel(Link& link, QWidget* parent) : QWidget(parent), link_(link)
{
    setObjectName(QStringLiteral("TransferPanel"));
    Label4 = new QLabel(QStringLiteral("Sending"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setFormat(QStringLiteral("%v of %m"));
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("CancelSend"));
    cancelButton->setToolTip(tr("Stops the send now and clears the unit"));
    resultLabel = new QLabel(this);
    resultLabel->setObjectName(QStringLiteral("TransferResult"));
    resultLabel->setWordWrap(true);
    resultLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    resultLabel->setToolTip(tr("How the last load ended; it stays until the next load"));
    routeLabel = new QLabel(this);
    routeLabel->setObjectName(QStringLiteral("TransferRoute"));
    routeLabel->setToolTip(tr("Where the next image, raw or multichirp load goes; USB Mode changes it"));

    auto* sending = new QHBoxLayout;
    sending->setContentsMargins(0, 0, 0, 0);
    sending->addWidget(Label4);
    sending->addWidget(ProgressBar1, 1);
    sending->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(sending);
    layout->addWidget(resultLabel);
    layout->addWidget(routeLabel);

    connect(cancelButton, &QPushButton::clicked, this, [this] {
        cancelButton->setEnabled(false);
        if (runner_) runner_->cancel();
    });
    showSending(false);
    resultLabel->setVisible(false);
    showRoute();
}

TransferPanel::~TransferPanel() = default;

void TransferPanel::setUsbRoute(UsbRoute* usb)
{
    if (usb_) disconnect(usb_, nullptr, this, nullptr);
    usb_ = usb;
    if (usb_) connect(usb_, &UsbRoute::ftdiModeChanged, this, &TransferPanel::showRoute);
    showRoute();
}

void TransferPanel::showRoute()
{
    if (usb_ && usb_->FtdiMode) {
        const QString device =
            usb_->UsbDescBuf.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(usb_->UsbDescBuf);
        routeLabel->setText(tr("Next load: USB%1; LUT files over the serial port").arg(device));
    }
    else {
        routeLabel->setText(tr("Next load: serial port"));
    }
}

void TransferPanel::showSending(bool on)
{
    // Label4 and the bar show only while a send runs.
    Label4->setVisible(on);
    ProgressBar1->setVisible(on);
    cancelButton->setVisible(on);
}

bool TransferPanel::running() const
{
    return runner_ && runner_->running();
}

bool TransferPanel::send(SenderConfig config, const QString& path, UsbRoute* usb,
                         const std::optional<QString>& echoLabel)
{
    if (running()) return false;
    // The runner of the last send may be the one that called us (a batch).
    if (runner_) runner_.release()->deleteLater();
    runner_ = std::make_unique<TransferRunner>(link_, std::move(config), usb);
    if (echoLabel) runner_->readEachReply(*echoLabel);
    connect(runner_.get(), &TransferRunner::progress, this, &TransferPanel::showProgress);
    connect(runner_.get(), &TransferRunner::message, this, &TransferPanel::status);
    connect(runner_.get(), &TransferRunner::clearing, this, [this] {
        Label4->setText(QString::fromUtf8(kClearingText));
        cancelButton->setEnabled(false);
        emit status(QString::fromUtf8(kClearingText));
    });
    TransferRunner* runner = runner_.get();
    connect(runner, &TransferRunner::finished, this, [this, runner](TransferOutcome outcome) {
        showSending(false);
        showRoute();
        showResult(runner->result());
        emit finished(outcome);
    });
    Label4->setText(QStringLiteral("Sending"));
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    cancelButton->setEnabled(true);
    // A result belongs to its send; the next one's starts afresh.
    result_.reset();
    resultLabel->clear();
    resultLabel->setVisible(false);
    QString error;
    if (!runner_->start(path, &error)) {
        TransferResult r = runner_->result();
        if (r.verdict.empty()) {
            r.verdict = error.toStdString();
            r.kind = runner_->engine().config().kind;
        }
        showResult(r);
        emit status(error);
        return false;
    }
    routeLabel->setText(tr("Sending over: %1").arg(runner_->routeName()));
    showSending(true);
    emit status(path);
    emit started();
    return true;
}

void TransferPanel::showResult(const TransferResult& result)
{
    result_ = result;
    const QString line = QString::fromStdString(resultLine(result));
    resultLabel->setText(line);
    const bool good = loadedWhole(result.outcome);
    resultLabel->setStyleSheet(good ? QString() : QStringLiteral("color: #b00000;"));
    resultLabel->setVisible(true);
    emit status(line);
}

void TransferPanel::showProgress(qulonglong done, qulonglong total)
{
    ProgressBar1->setRange(0, int(std::max<qulonglong>(total, 1)));
    ProgressBar1->setValue(int(std::min(done, total)));
    if (runner_ && runner_->isClearing()) return;
    const double rate = runner_->recordsPerSecond();
    QString text = QStringLiteral("Record %1 of %2").arg(done).arg(total);
    if (rate > 0 && done > 0 && done <= total)
        text += QStringLiteral(", %1 records/s, %2 s left")
                    .arg(rate, 0, 'f', 0)
                    .arg(double(total - done) / rate, 0, 'f', 0);
    emit status(text);
}

} // namespace plovan
