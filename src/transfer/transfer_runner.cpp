#include "transfer_runner.h"

#include "link.h"

#include <QFileInfo>

namespace plovan {

TransferRunner::TransferRunner(Link& link, SenderConfig config, UsbRoute* usb, QObject* parent)
    : QObject(parent), link_(link), usb_(usb), usbFromStart_(config.usb == SenderConfig::Usb::Whole),
      engine_(std::move(config), hooks())
{
    for (QTimer* t : {&pauseTimer_, &replyTimer_}) {
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
    }
    pollTimer_.setInterval(kUsbPollMs);
    connect(&pauseTimer_, &QTimer::timeout, this, [this] { engine_.pauseDone(); });
    connect(&replyTimer_, &QTimer::timeout, this, [this] { engine_.replyTimedOut(); });
    connect(&pollTimer_, &QTimer::timeout, this, &TransferRunner::pollUsb);
}

TransferRunner::~TransferRunner()
{
    // A runner dropped mid-send leaves no timer to reach it; the chip goes back.
    pollTimer_.stop();
    handOver_.reset();
}

QString TransferRunner::routeName() const
{
    if (!usb_) return QStringLiteral("serial");
    return usbFromStart_ ? QStringLiteral("USB") : QStringLiteral("serial + USB");
}

TransferEngine::Hooks TransferRunner::hooks()
{
    TransferEngine::Hooks h;
    h.write = [this](const std::string& line) -> std::string {
        if (handOver_ && !usbBroken_) return usbWrite(QByteArray::fromStdString(line + "\r\n"));
        // The load's own lines; anyone else is refused while it holds the link.
        const Link::JobWrite own(link_);
        if (link_.send(line)) return {};
        return link_.portOpen() ? "Write to the serial port failed" : "The serial port is not open";
    };
    h.writeBytes = [this](const std::string& bytes) -> std::string {
        if (usbBroken_) return ("The USB device failed: " + usbError_).toStdString();
        // Records only over USB: the device is taken at the first of them.
        if (!handOver_ && !(usb_ && openUsb())) return usbError_.toStdString();
        return usbWrite(QByteArray::fromStdString(bytes));
    };
    h.pause = [this](int ms) { pauseTimer_.start(ms); };
    h.replyTimer = [this](bool run) {
        if (run && link_.ackTimeoutMs() > 0)
            replyTimer_.start(link_.ackTimeoutMs());
        else
            replyTimer_.stop();
    };
    h.message = [this](const std::string& text) {
        const QString m = QString::fromStdString(text);
        link_.terminalLine(m);
        emit message(m);
    };
    h.progress = [this](std::size_t done, std::size_t total) {
        if (done != 0 && done != total && sinceProgress_.isValid() &&
            sinceProgress_.elapsed() < kProgressIntervalMs)
            return;
        sinceProgress_.start();
        emit progress(done, total);
    };
    h.clearing = [this] {
        // A USB device that failed is given up before the "=C"s go out.
        if (usbBroken_) QTimer::singleShot(0, this, &TransferRunner::releaseUsb);
        // The bar shows where the send stopped, not where the last update left it.
        const std::size_t total = engine_.recordsAnnounced();
        emit progress(std::min(engine_.recordsSent(), total), total);
        emit clearing();
    };
    h.finished = [this](TransferOutcome outcome) { ended(outcome); };
    return h;
}

void TransferRunner::ended(TransferOutcome outcome)
{
    durationMs_ = sinceStart_.isValid() ? sinceStart_.elapsed() : 0;
    pauseTimer_.stop();
    replyTimer_.stop();
    pollTimer_.stop();
    disconnect(bytes_);
    disconnect(testMode_);
    disconnect(lost_);
    file_.close();
    opened_ = false;
    releaseUsb();
    emit finished(outcome);
}

bool TransferRunner::openUsb()
{
    handOver_ = std::make_unique<UsbRoute::SerialHandOver>(*usb_);
    usb_->testFailed = false;
    if (!handOver_->ok()) {
        handOver_.reset();
        usbError_ = QStringLiteral("The USB device is in use");
        return false;
    }
    if (usb_->FtdiOpen()) {
        pollTimer_.start();
        return true;
    }
    usbError_ = usb_->openFailure();
    handOver_.reset();
    return false;
}

void TransferRunner::releaseUsb()
{
    pollTimer_.stop();
    if (!handOver_) return;
    // A device that failed is closed quietly by the hand-over; a sound one
    // the usual way ("Close Failed" when that fails).
    if (!usbBroken_) usb_->FtdiClose();
    handOver_.reset(); // the serial port comes back
}

void TransferRunner::readEachReply(const QString& label)
{
    echoLabel_ = label;
}

std::string TransferRunner::usbWrite(const QByteArray& bytes)
{
    if (!usb_->UsbWrite(bytes)) {
        usbFailed();
        return ("USB write failed (" + usbError_ + ")").toStdString();
    }
    if (echoLabel_) link_.terminalLine(*echoLabel_ + QStringLiteral(" sent ok!!"));
    return {};
}

void TransferRunner::usbFailed()
{
    if (usbBroken_) return;
    usbBroken_ = true;
    pollTimer_.stop();
    usbError_ = usb_->device().lastError();
    if (usbError_.isEmpty()) usbError_ = QStringLiteral("status %1").arg(statusCode(usb_->ftStatus));
    // While the unit is being cleared the rest of the "=C"s go over the serial port.
    if (engine_.clearing()) QTimer::singleShot(0, this, &TransferRunner::releaseUsb);
}

void TransferRunner::pollUsb()
{
    if (!handOver_ || usbBroken_ || !engine_.running()) return;
    FtdiDevice& device = usb_->device();
    qint64 queued = 0;
    FtStatus status = device.queueStatus(usb_->FtHandle, queued);
    QByteArray bytes;
    if (status == FtStatus::Ok && queued > 0) status = device.read(usb_->FtHandle, queued, bytes);
    usb_->ftStatus = status;
    // As serial bytes are: the terminal, the log, and through bytesReceived the engine.
    if (!bytes.isEmpty()) {
        const Link::UsbBytes usb(link_);
        link_.MyPort_event16(bytes);
    }
    if (status == FtStatus::Ok || !handOver_ || !engine_.running()) return;
    usbFailed();
    engine_.routeFailed(("USB read failed (" + usbError_ + ")").toStdString());
}

bool TransferRunner::open(const QString& path, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (engine_.running()) return fail(QStringLiteral("a send is running already"));
    path_ = path;
    failedStart_.reset();
    file_.close();
    file_.clear();
    opened_ = false;
    // Looked at before it is opened: opening a FIFO would wait for a writer.
    const QFileInfo info(path);
    if (!info.exists()) return fail(path + QStringLiteral(" cannot be read: it does not exist"));
    if (!info.isFile()) return fail(path + QStringLiteral(" is not a regular file: nothing sent"));
    file_.open(path.toLocal8Bit().toStdString(), std::ios::binary);
    if (!file_) return fail(path + QStringLiteral(" cannot be read"));
    const std::string why = engine_.prepare(file_);
    if (!why.empty()) {
        file_.close();
        return fail(QFileInfo(path).fileName() + QStringLiteral(": ") + QString::fromStdString(why));
    }
    opened_ = true;
    return true;
}

bool TransferRunner::start(QString* error)
{
    if (!opened_) {
        if (error) *error = QStringLiteral("no file is open to send");
        return false;
    }
    usbBroken_ = false;
    usbError_.clear();
    sinceStart_.start();
    sinceProgress_.invalidate();
    durationMs_ = 0;
    QString routeError;
    if (usb_ && usbFromStart_ && !openUsb()) {
        routeError = usbError_;
    }
    else if (usb_ && !usbFromStart_) {
        // Only the records go over USB; the device is looked for before the
        // preamble tells the unit to expect them.
        QString why;
        if (!usb_->deviceListed(&why)) routeError = why;
    }
    if (!routeError.isEmpty()) {
        file_.close();
        opened_ = false;
        TransferResult r;
        r.kind = engine_.config().kind;
        r.total = engine_.recordsAnnounced();
        r.outcome = TransferOutcome::Error;
        r.verdict = (routeError + QStringLiteral(": nothing sent")).toStdString();
        failedStart_ = r;
        if (error) *error = routeError;
        return false;
    }
    bytes_ = connect(&link_, &Link::bytesReceived, this, [this](const QByteArray& b) {
        engine_.received(std::string_view(b.constData(), b.size()));
    });
    testMode_ = connect(&link_, &Link::testModeChanged, this, [this](bool on) { engine_.setTestMode(on); });
    lost_ = connect(&link_, &Link::connectionLost, this, [this] {
        // The serial port; while the USB route holds the unit it is shut anyway.
        if (!handOver_ || usbBroken_) engine_.connectionLost();
    });
    engine_.setTestMode(link_.TestMode());
    engine_.start();
    return true;
}

bool TransferRunner::start(const QString& path, QString* error)
{
    return open(path, error) && start(error);
}

void TransferRunner::cancel()
{
    engine_.cancel();
}

void TransferRunner::stop(const QString& why)
{
    engine_.cancel(why.toStdString());
}

double TransferRunner::recordsPerSecond() const
{
    const qint64 ms = sinceStart_.isValid() ? sinceStart_.elapsed() : 0;
    return ms > 0 ? engine_.recordsSent() * 1000.0 / ms : 0.0;
}

TransferResult TransferRunner::result() const
{
    TransferResult r = failedStart_ ? *failedStart_ : engine_.result();
    r.file = QFileInfo(path_).fileName().toStdString();
    r.route = routeName().toStdString();
    r.durationMs = failedStart_ ? 0 : durationMs_;
    return r;
}

} // namespace plovan
