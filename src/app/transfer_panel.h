// The progress of a table send under the terminal: "Sending" (Label4), the
// bar (ProgressBar1) and "Cancel"; records done, rate and time left go to the
// status line. The panel runs the send through a TransferRunner and shows
// itself only while one runs.
#pragma once

#include "transfer_engine.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace plovan {

class Link;
class TransferRunner;
class UsbRoute;

class TransferPanel : public QWidget {
    Q_OBJECT
public:
    explicit TransferPanel(Link& link, QWidget* parent = nullptr);
    ~TransferPanel() override;

    QLabel* Label4;             // "Sending"
    QProgressBar* ProgressBar1; // records done of the count
    QPushButton* cancelButton;  // "Cancel"

    // Sends `path` with `config`, over `usb` when given (with `echoLabel`, in
    // the USB bench test's way); false (said through `status`) when it
    // cannot start.
    bool send(SenderConfig config, const QString& path, UsbRoute* usb = nullptr,
              const std::optional<QString>& echoLabel = std::nullopt);
    bool running() const;

signals:
    void started();
    // A line for the status bar.
    void status(const QString& text);
    void finished(plovan::TransferOutcome outcome);

private:
    void showProgress(qulonglong done, qulonglong total);

    Link& link_;
    std::unique_ptr<TransferRunner> runner_;
};

} // namespace plovan
