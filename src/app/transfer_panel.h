// The table sends under the terminal. While a send runs: "Sending" (Label4),
// the bar (ProgressBar1) and "Cancel"; records done, rate and time left go to
// the status line. Cancel stops the send at once and shows "Clearing the
// unit..." while the abort sequence runs. Once a send has ended its result
// (file, kind, route, records sent, time, what the unit did) stays in
// `resultLabel` until the next send: the terminal's clearing at 2001
// characters cannot wipe it. `routeLabel` always says which route the next
// load takes. The panel runs each send through a TransferRunner.
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

    static constexpr char kClearingText[] = "Clearing the unit\u2026";

    QLabel* Label4;             // "Sending"
    QProgressBar* ProgressBar1; // records done of the count
    QPushButton* cancelButton;  // "Cancel"
    QLabel* resultLabel;        // the last send's result
    QLabel* routeLabel;         // the route of the next load

    // The route whose FtdiMode decides where the next image, raw or
    // multichirp load goes; shown in routeLabel.
    void setUsbRoute(UsbRoute* usb);

    // Sends `path` with `config`, over `usb` when given (with `echoLabel`, in
    // the USB bench test's way); false (said through `status` and in the
    // result line) when it cannot start.
    bool send(SenderConfig config, const QString& path, UsbRoute* usb = nullptr,
              const std::optional<QString>& echoLabel = std::nullopt);
    bool running() const;
    // The last send's result; empty before the first.
    std::optional<TransferResult> lastResult() const { return result_; }

signals:
    void started();
    // A line for the status bar.
    void status(const QString& text);
    void finished(plovan::TransferOutcome outcome);

private:
    void showProgress(qulonglong done, qulonglong total);
    void showResult(const TransferResult& result);
    void showSending(bool on);
    void showRoute();

    Link& link_;
    UsbRoute* usb_ = nullptr;
    std::unique_ptr<TransferRunner> runner_;
    std::optional<TransferResult> result_;
};

} // namespace plovan
