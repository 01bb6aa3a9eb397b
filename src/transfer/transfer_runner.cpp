#include "transfer_runner.h"

#include "link.h"

namespace plovan {

TransferRunner::TransferRunner(Link& link, SenderConfig config, UsbRoute* usb, QObject* parent)
    : QObject(parent), link_(link), usb_(usb), usbFromStart_(config.usb == SenderConfig::Usb::Whole),
      engine_(std::move(config), hooks())
{
    for (QTimer* t : {&pauseTimer_, &replyTimer_}) {
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
    }
    connect(&pauseTimer_, &QTimer::timeout, this, [this] { engine_.pauseDone(); });
    connect(&replyTimer_, &QTimer::timeout, this, [this] { engine_.replyTimedOut(); });
}

TransferRunner::~TransferRunner() = default;

TransferEngine::Hooks TransferRunner::hooks()
{
    TransferEngine::Hooks h;
    h.write = [this](const std::string& line) {
        if (handOver_)
            usbWrite(QByteArray::fromStdString(line + "\r\n"), false);
        else {
            // The load's own lines; anyone else is refused while it holds the link.
            const Link::JobWrite own(link_);
            link_.send(line);
        }
    };
    h.writeBytes = [this](const std::string& bytes) {
        // Records only over USB: the device is taken at the first of them.
        if (!handOver_ && !(usb_ && openUsb())) return false;
        usbWrite(QByteArray::fromStdString(bytes), true);
        return true;
    };
    h.collect = [this]() -> std::string {
        if (!handOver_) return {};
        if (echoLabel_) {
            QByteArray reply;
            usb_->FtRec(1, &reply);
            return reply.toStdString();
        }
        FtdiDevice& device = usb_->device();
        qint64 queued = 0;
        QByteArray text;
        if (device.queueStatus(usb_->FtHandle, queued) == FtStatus::Ok)
            device.read(usb_->FtHandle, queued, text);
        link_.terminalAppend(QString::fromLatin1(text));
        return text.toStdString();
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
        if (done == 0) sinceStart_.start();
        if (done != 0 && done != total && sinceProgress_.isValid() &&
            sinceProgress_.elapsed() < kProgressIntervalMs)
            return;
        sinceProgress_.start();
        emit progress(done, total);
    };
    h.finished = [this](TransferOutcome outcome) {
        pauseTimer_.stop();
        replyTimer_.stop();
        disconnect(bytes_);
        disconnect(testMode_);
        disconnect(lost_);
        file_.close();
        if (handOver_) {
            if (echoLabel_) usb_->FtRec(1);
            usb_->FtdiClose();
            handOver_.reset(); // the serial port comes back
        }
        emit finished(outcome);
    };
    return h;
}

bool TransferRunner::openUsb()
{
    handOver_ = std::make_unique<UsbRoute::SerialHandOver>(*usb_);
    usb_->testFailed = false;
    if (handOver_->ok() && usb_->FtdiOpen()) return true;
    handOver_.reset();
    return false;
}

void TransferRunner::readEachReply(const QString& label)
{
    echoLabel_ = label;
}

void TransferRunner::usbWrite(const QByteArray& bytes, bool record)
{
    if (!usb_->UsbWrite(bytes) || !echoLabel_) return;
    link_.terminalLine(*echoLabel_ + QStringLiteral(" sent ok!!"));
    // The replies to the start command and the header are read after the
    // header's pause, for the "too big" test.
    if (record) usb_->FtRec(1);
}

bool TransferRunner::start(const QString& path, QString* error)
{
    if (engine_.running()) {
        if (error) *error = QStringLiteral("a send is running already");
        return false;
    }
    file_.close();
    file_.clear();
    file_.open(path.toLocal8Bit().toStdString(), std::ios::binary);
    if (!file_) {
        if (error) *error = path + QStringLiteral(" cannot be read");
        return false;
    }
    if (usb_ && usbFromStart_ && !openUsb()) {
        file_.close();
        if (error) *error = QStringLiteral("the USB device could not be opened");
        return false;
    }
    bytes_ = connect(&link_, &Link::bytesReceived, this, [this](const QByteArray& b) {
        engine_.received(std::string_view(b.constData(), b.size()));
    });
    testMode_ = connect(&link_, &Link::testModeChanged, this, [this](bool on) { engine_.setTestMode(on); });
    lost_ = connect(&link_, &Link::connectionLost, this, [this] { engine_.connectionLost(); });
    engine_.setTestMode(link_.TestMode());
    sinceProgress_.invalidate();
    sinceStart_.start();
    engine_.start(file_);
    return true;
}

void TransferRunner::cancel()
{
    engine_.cancel();
}

double TransferRunner::recordsPerSecond() const
{
    const qint64 ms = sinceStart_.isValid() ? sinceStart_.elapsed() : 0;
    return ms > 0 ? engine_.recordsSent() * 1000.0 / ms : 0.0;
}

} // namespace plovan
