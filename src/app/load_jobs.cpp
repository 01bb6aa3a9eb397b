#include "load_jobs.h"

#include "batch_folder.h"
#include "header_panel.h"
#include "header_window.h"
#include "table_send.h"
#include "test_panel.h"
#include "transfer_panel.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace plovan {

LoadJobs::LoadJobs(UnitSession& session, const Dialogs& dialogs, Parts parts, QObject* parent)
    : QObject(parent), session_(session), dialogs_(dialogs), parts_(std::move(parts))
{
    connect(parts_.transfer, &TransferPanel::finished, this, &LoadJobs::sendFinished);
    connect(parts_.headerWindow, &HeaderWindow::returned, this, [this] { emit holdWindow(false); });
}

LoadJobs::~LoadJobs() = default;

QString LoadJobs::chooseTransferFile(const QString& title, const QString& filter)
{
    for (;;) {
        const QString path = dialogs_.chooseFileToOpen(title, filter);
        if (path.isEmpty() || QFileInfo(path).isFile()) return path;
        dialogs_.warn(title, path + QStringLiteral(" not found!"));
    }
}

QString LoadJobs::chooseTableFile(const table::Layout& layout)
{
    const QString title = QStringLiteral("Send Velmar File");
    const QString filter = QStringLiteral("Velmar Files (*.%1)|*.%1|All Files (*.*)|*.*")
                               .arg(QString::fromLatin1(layout.extension).toUpper());
    const QString path = chooseTransferFile(title, filter);
    if (path.isEmpty()) return {};
    std::string error;
    const auto findings = table::checkFile(QFile::encodeName(path).toStdString(), layout, &error);
    if (!findings) {
        dialogs_.warn(title,
                      path + QStringLiteral(" cannot be read: ") + QString::fromLocal8Bit(error.c_str()));
        return {};
    }
    QStringList lines;
    for (const table::Finding& f : *findings)
        lines << QString::fromStdString(table::describe(f));
    return sendDespite(title, path, lines) ? path : QString();
}

bool LoadJobs::sendDespite(const QString& title, const QString& path, const QStringList& findings)
{
    if (findings.isEmpty() ||
        dialogs_.askYesNo(title, path + QStringLiteral(":\n") + findings.join(QLatin1Char('\n')) +
                                     QStringLiteral("\n\nSend anyway?")))
        return true;
    session_.link.status(QStringLiteral("%1 not sent").arg(QFileInfo(path).fileName()));
    return false;
}

bool LoadJobs::startSend(Job job, SenderConfig config, const QString& path, UsbRoute* usb,
                         const std::optional<QString>& echoLabel)
{
    // A batch holds the link for all its files.
    const bool own = !batch_;
    const auto cancel = [this] { parts_.transfer->cancelButton->click(); };
    if (own && !session_.begin(job, cancel)) return false;
    if (!parts_.transfer->send(std::move(config), path, usb, echoLabel)) {
        if (own) session_.end(job);
        return false;
    }
    sending_ = job;
    emit stateChanged();
    return true;
}

void LoadJobs::sendFinished(TransferOutcome outcome)
{
    const std::optional<Job> job = std::exchange(sending_, std::nullopt);
    if (const std::optional<TransferResult> result = parts_.transfer->lastResult())
        session_.setLastLoad(*result);
    if (std::exchange(lutTestRunning_, false) && outcome == TransferOutcome::CrcError)
        dialogs_.warn(QStringLiteral("TEST LUT file"), QString::fromLatin1(lut::kTestStopMessage));
    if (!batch_) {
        if (job) session_.end(*job);
        emit stateChanged();
        return;
    }
    if (!BatchFolder::goesOnAfter(outcome)) {
        endBatch(QStringLiteral("Batch stopped at %1.plv").arg(c));
        return;
    }
    // The next send starts once this one's runner has returned.
    QTimer::singleShot(0, this, &LoadJobs::sendBatchFile);
}

void LoadJobs::sendTable(const table::Layout& layout)
{
    if (!session_.mayWrite()) return;
    const QString path = chooseTableFile(layout);
    if (path.isEmpty()) return;
    session_.link.clearTerminal();
    const bool overUsb = session_.usb.FtdiMode;
    SenderConfig config = table::senderFor(layout, overUsb);
    const Job job = loadJob(config.kind);
    startSend(job, std::move(config), path, overUsb ? &session_.usb : nullptr);
}

void LoadJobs::sendLut(const QString& chosen)
{
    if (!session_.mayWrite()) return;
    const QString title = QStringLiteral("Open Velmar calibration file");
    const QString path = !chosen.isEmpty()
                             ? chosen
                             : chooseTransferFile(title, QStringLiteral("Velmar calibration Files "
                                                                        "(*.CAL)|*.CAL|All Files (*.*)|*.*"));
    if (path.isEmpty()) return;
    // What the send does with the file: every line goes, whatever the editor's 256 rows.
    std::string error;
    const auto lut = table::checkLutFile(QFile::encodeName(path).toStdString(), &error);
    if (!lut) {
        dialogs_.warn(title,
                      path + QStringLiteral(" cannot be read: ") + QString::fromLocal8Bit(error.c_str()));
        return;
    }
    QStringList findings;
    for (const table::Finding& f : *lut)
        findings << QString::fromStdString(table::describe(f));
    if (!sendDespite(title, path, findings)) return;
    // The header registers go first; a unit that does not take them gets no table.
    if (!parts_.headerPanel->Command8_Click()) return;
    session_.link.clearTerminal();
    // "Save to DDS" ends unticked.
    parts_.testPanel->saveToDds->setChecked(false);
    startSend(Job::LutLoad, lut::serialSender(parts_.testPanel->skipCrc->isChecked()), path, nullptr);
}

void LoadJobs::sendTestLut()
{
    if (!session_.mayWrite()) return;
    const QString name = QString::fromLatin1(lut::kTestFile);
    if (!QFileInfo(QDir::current().filePath(name)).isFile()) {
        dialogs_.warn(QStringLiteral("TEST LUT file"), name + QStringLiteral(" not found!"));
        return;
    }
    parts_.testPanel->saveToDds->setChecked(false);
    lutTestRunning_ = startSend(Job::LutTest, lut::testSender(), QDir::current().filePath(name), nullptr);
}

void LoadJobs::sendUsbImage(const QString& text35)
{
    if (!session_.mayWrite() || session_.usb.busy()) return;
    const QString path = chooseTableFile(table::kImage);
    if (path.isEmpty()) return;
    session_.link.clearTerminal();
    startSend(Job::UsbImage, image::usbTestSender(), path, &session_.usb, text35);
}

void LoadJobs::sendBatch()
{
    if (!session_.mayWrite()) return;
    const QString title = QStringLiteral("Send Batch");
    const BatchFolder folder(BatchFolder::defaultPath(parts_.settingsDir));
    if (!folder.exists()) {
        dialogs_.warn(title, QStringLiteral("The batch folder %1 does not exist").arg(folder.path()));
        return;
    }
    // Every file is found and checked before the first header block; a gap
    // cannot be sent anyway, other findings are put to the operator once.
    const BatchPlan plan = folder.plan();
    const QString findings = plan.findings.join(QLatin1Char('\n'));
    if (plan.refused) {
        dialogs_.warn(title, findings + QStringLiteral("\n\nNothing sent."));
        return;
    }
    if (!plan.findings.isEmpty() && !dialogs_.askYesNo(title, findings + QStringLiteral("\n\nSend anyway?")))
        return;
    const auto cancel = [this] {
        batchCancelled_ = true;
        if (parts_.transfer->running())
            parts_.transfer->cancelButton->click();
        else
            parts_.headerWindow->Command2_Click(); // "Return": the blocks stop
    };
    if (!session_.begin(Job::Batch, cancel)) return;
    batch_ = std::make_unique<QStringList>(plan.files);
    batchCancelled_ = false;
    session_.link.clearTerminal();
    emit stateChanged();
    emit holdWindow(true);
    parts_.headerWindow->openWindow(false);
    // The blocks go out once the window is drawn.
    QTimer::singleShot(0, this, &LoadJobs::batchBlocks);
}

void LoadJobs::batchBlocks()
{
    bool written = false;
    {
        const Link::JobWrite ownWrites(session_.link);
        written = parts_.headerWindow->Command1_Click();
    }
    parts_.headerWindow->hide();
    emit holdWindow(false);
    if (!written) {
        endBatch(QStringLiteral("Header blocks not written - batch stopped"));
        return;
    }
    c = 0;
    sendBatchFile();
}

void LoadJobs::sendBatchFile()
{
    if (batchCancelled_) {
        endBatch(QStringLiteral("Batch stopped at %1.plv").arg(c));
        return;
    }
    if (++c > batch_->size()) {
        endBatch(QStringLiteral("Batch sent: %1 files").arg(batch_->size()));
        return;
    }
    const QString path = batch_->at(c - 1);
    session_.link.terminalLine(QFileInfo(path).fileName());
    const bool overUsb = session_.usb.FtdiMode;
    if (!startSend(Job::ImageLoad, table::senderFor(table::kImage, overUsb), path,
                   overUsb ? &session_.usb : nullptr))
        endBatch(QStringLiteral("%1 could not be sent - batch stopped").arg(QFileInfo(path).fileName()));
}

void LoadJobs::endBatch(const QString& message)
{
    session_.link.report(message);
    batch_.reset();
    session_.end(Job::Batch);
    emit stateChanged();
}

} // namespace plovan
