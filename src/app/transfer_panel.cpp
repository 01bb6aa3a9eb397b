#include "transfer_panel.h"

#include "transfer_runner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

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
    cancelButton->setToolTip(tr("Ends the send after the current record and clears the unit"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Label4);
    layout->addWidget(ProgressBar1, 1);
    layout->addWidget(cancelButton);
    connect(cancelButton, &QPushButton::clicked, this, [this] {
        if (runner_) runner_->cancel();
        cancelButton->setEnabled(false);
    });
    setVisible(false);
}

TransferPanel::~TransferPanel() = default;

bool TransferPanel::running() const
{
    return runner_ && runner_->running();
}

bool TransferPanel::send(SenderConfig config, const QString& path, UsbRoute* usb,
                         const std::optional<QString>& echoLabel)
{
    if (running()) return false;
    runner_ = std::make_unique<TransferRunner>(link_, std::move(config), usb);
    if (echoLabel) runner_->readEachReply(*echoLabel);
    connect(runner_.get(), &TransferRunner::progress, this, &TransferPanel::showProgress);
    connect(runner_.get(), &TransferRunner::message, this, &TransferPanel::status);
    connect(runner_.get(), &TransferRunner::finished, this, [this](TransferOutcome outcome) {
        setVisible(false);
        emit finished(outcome);
    });
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    cancelButton->setEnabled(true);
    QString error;
    if (!runner_->start(path, &error)) {
        emit status(error);
        return false;
    }
    setVisible(true);
    emit status(path);
    emit started();
    return true;
}

void TransferPanel::showProgress(qulonglong done, qulonglong total)
{
    ProgressBar1->setRange(0, int(std::max<qulonglong>(total, 1)));
    ProgressBar1->setValue(int(done));
    const double rate = runner_->recordsPerSecond();
    QString text = QStringLiteral("Record %1 of %2").arg(done).arg(total);
    if (rate > 0 && done > 0)
        text += QStringLiteral(", %1 records/s, %2 s left")
                    .arg(rate, 0, 'f', 0)
                    .arg(double(total - done) / rate, 0, 'f', 0);
    emit status(text);
}

} // namespace plovan
