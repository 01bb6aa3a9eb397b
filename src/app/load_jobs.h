// The window's table loads as session jobs: the file chosen and checked, the
// send started through the transfer panel, the batch over the Multifile
// folder. Each holds the session's link from its first line to its verdict.
#pragma once

#include "dialogs.h"
#include "table_file.h"
#include "transfer_engine.h"
#include "unit_session.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace plovan {

class HeaderPanel;
class HeaderWindow;
class TestPanel;
class TransferPanel;

class LoadJobs : public QObject {
    Q_OBJECT
public:
    struct Parts {
        TransferPanel* transfer;
        HeaderWindow* headerWindow;
        HeaderPanel* headerPanel;
        TestPanel* testPanel;
        QString settingsDir;
    };
    LoadJobs(UnitSession& session, const Dialogs& dialogs, Parts parts, QObject* parent = nullptr);
    ~LoadJobs() override;

    // A table file of `layout`'s kind, on the route USB Mode says.
    void sendTable(const table::Layout& layout);
    // "Send LUT": the header registers, then the table (`path`, or one chosen now).
    void sendLut(const QString& path = {});
    void sendTestLut();                       // "TEST LUT file"
    void sendUsbImage(const QString& text35); // Command57: an image over USB, each reply read
    void sendBatch();                         // "Send Batch"
    bool batchRunning() const { return batch_ != nullptr; }

signals:
    // The window re-applies its control rules (a send or a batch began or ended).
    void stateChanged();
    // The "Header" window holds the main window while it writes the blocks.
    void holdWindow(bool held);

private:
    // ChooseTransferFile: a file that exists, asked again after " not found!";
    // empty when the operator cancels.
    QString chooseTransferFile(const QString& title, const QString& filter);
    // The file of a send of `layout`'s kind, chosen and checked, with "Send
    // anyway?" on findings; empty when the operator gives up.
    QString chooseTableFile(const table::Layout& layout);
    // The findings put to the operator: true to send (none, or "Send anyway?" answered Yes).
    bool sendDespite(const QString& title, const QString& path, const QStringList& findings);
    // Starts the send of `path` as `job`, over `usb` when given.
    bool startSend(Job job, SenderConfig config, const QString& path, UsbRoute* usb,
                   const std::optional<QString>& echoLabel = std::nullopt);
    void sendFinished(TransferOutcome outcome);
    void batchBlocks();
    void sendBatchFile();
    void endBatch(const QString& message);

    UnitSession& session_;
    const Dialogs& dialogs_;
    Parts parts_;
    std::optional<Job> sending_;         // the job of the send that runs
    bool lutTestRunning_ = false;        // the send running is "TEST LUT file"
    std::unique_ptr<QStringList> batch_; // the batch's files, while it runs
    int c = 0;                           // the batch's file number
    bool batchCancelled_ = false;
    // The send that runs, for the unit model's last load.
};

} // namespace plovan
