#include "usb_route.h"

#include "link.h"
#include "unit_commands.h"

#include <QElapsedTimer>

namespace plovan {

FtStatus NoFtdiDevice::countDevices(int& count)
{
    count = 0;
    return fail(FtStatus::DeviceNotFound, why_);
}

FtStatus NoFtdiDevice::description(int, QString& text)
{
    text.clear();
    return fail(FtStatus::DeviceNotFound, why_);
}

FtStatus NoFtdiDevice::serialNumber(int, QString& text)
{
    text.clear();
    return fail(FtStatus::DeviceNotFound, why_);
}

UsbRoute::UsbRoute(Link& link, QObject* parent) : QObject(parent), link_(link)
{
    setDevice(nullptr);
}

UsbRoute::~UsbRoute()
{
    if (device_->isOpen()) device_->close(device_->openHandle());
}

void UsbRoute::setDevice(std::unique_ptr<FtdiDevice> device)
{
    if (device_ && device_->isOpen()) device_->close(device_->openHandle());
    device_ = device ? std::move(device) : std::make_unique<NoFtdiDevice>();
    device_->setIdle([this](int ms) { return link_.pause(ms) != WaitResult::Cancelled; });
    FtHandle = 0;
}

// --- messages ---

void UsbRoute::say(const QString& line)
{
    link_.terminalLine(line);
    emit output(line + QStringLiteral("\r\n"));
}

void UsbRoute::sayFailure(const QString& line, bool withReason)
{
    ++failures_;
    say(line);
    const QString why = device_->lastError();
    // One cause fails every later step too; it is said once.
    if (withReason && !why.isEmpty() && why != lastReason_)
        say(QStringLiteral("(") + why + QStringLiteral(")"));
    if (withReason) lastReason_ = why;
}

void UsbRoute::sayText(const QByteArray& bytes)
{
    // Through the receive handler, as the serial port's bytes: the terminal
    // and the communications log get them.
    {
        const Link::UsbBytes usb(link_);
        link_.MyPort_event16(bytes);
    }
    emit output(QString::fromLatin1(bytes));
}

QString UsbRoute::statusText(const char* head) const
{
    return QString::fromLatin1(head) + QString::number(statusCode(ftStatus));
}

// --- start-up ---

QString UsbRoute::FtGetDescrp()
{
    QString description;
    if (device_->description(0, description) != FtStatus::Ok) return QStringLiteral("ListDevices failed");
    return QStringLiteral("Device Description ") + description;
}

UsbStartup UsbRoute::probeAtStartup()
{
    UsbStartup startup;
    UsbDescBuf.clear();
    FtdiMode = device_->description(0, UsbDescBuf) == FtStatus::Ok;
    emit ftdiModeChanged(FtdiMode);
    startup.VerSion = QString::fromLatin1(kPlovanVersion);
    if (FtdiMode) {
        startup.descriptionLine = FtGetDescrp();
        startup.VerSion += QStringLiteral(" usb");
    }
    else {
        UsbDescBuf.clear();
        startup.captionNote = QString::fromLatin1(kNoUsbCaptionNote);
    }
    return startup;
}

// --- the serial port around a USB use ---

UsbRoute::SerialHandOver::SerialHandOver(UsbRoute& route) : route_(route)
{
    if (route_.busy_) {
        route_.link_.report(QStringLiteral("The USB device is in use; try again when it is done"));
        return;
    }
    ok_ = true;
    route_.busy_ = true;
    route_.failures_ = 0;
    route_.lastReason_.clear();
    route_.link_.USBStatus = true;
    reopen_ = route_.link_.portOpen();
    if (reopen_) route_.link_.closePort();
}

UsbRoute::SerialHandOver::~SerialHandOver()
{
    if (!ok_) return;
    // The chip goes back to the serial driver only once it is closed.
    FtdiDevice& device = *route_.device_;
    if (device.isOpen()) device.close(device.openHandle());
    route_.FtHandle = 0;
    route_.link_.USBStatus = false;
    if (reopen_) route_.reopenSerial();
    route_.busy_ = false;
}

bool UsbRoute::reopenSerial()
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        // The port's notes were given when it was first opened.
        if (link_.openPort(false)) return true;
        if (clock.elapsed() >= reopenDeadlineMs) break;
        link_.pause(kReopenRetryMs);
    }
    link_.connectionFailed(QStringLiteral("The serial port did not come back after the USB use: ") +
                           link_.openError());
    return false;
}

// --- the steps ---

const QString& UsbRoute::descriptionToOpen()
{
    // A device plugged in after start-up has no description yet.
    if (UsbDescBuf.isEmpty()) device_->description(0, UsbDescBuf);
    return UsbDescBuf;
}

void UsbRoute::setFtdiMode(bool on)
{
    if (FtdiMode == on) return;
    FtdiMode = on;
    emit ftdiModeChanged(on);
}

FtLineSettings UsbRoute::serialLineSettings() const
{
    FtLineSettings line = device_->lineSettings();
    if (const PortBackend* backend = link_.backend()) {
        const PortSettings& port = backend->settings();
        line.baud = port.baud;
        line.dataBits = port.dataBits;
        line.parity = port.parity; // the codes are the chip's
        line.stopBits = 1;
    }
    return line;
}

bool UsbRoute::deviceListed(QString* why)
{
    QString description;
    const FtStatus status = device_->description(0, description);
    if (status == FtStatus::Ok) return true;
    if (why)
        *why = status == FtStatus::DeviceNotFound
                   ? QStringLiteral("no USB device attached")
                   : QStringLiteral("the USB device cannot be listed: ") + device_->lastError();
    return false;
}

bool UsbRoute::FtdiOpen()
{
    openFailure_.clear();
    // The unit talks on the chip's line as it does on the serial port.
    device_->setLineSettings(serialLineSettings());
    ftStatus = device_->openByDescription(descriptionToOpen(), FtHandle);
    if (ftStatus == FtStatus::Ok) return true;
    const QString why = device_->lastError();
    openFailure_ = ftStatus == FtStatus::DeviceNotFound
                       ? QStringLiteral("no USB device attached")
                       : QStringLiteral("the USB device could not be opened") +
                             (why.isEmpty() ? QString() : QStringLiteral(": ") + why);
    sayFailure(QStringLiteral("Open Failed"));
    FtdiClose();
    return false;
}

void UsbRoute::FtdiClose()
{
    ftStatus = device_->close(FtHandle);
    if (ftStatus != FtStatus::Ok) sayFailure(QStringLiteral("Close Failed"), false);
    FtHandle = 0;
    if (testFailed) sayFailure(QStringLiteral("Test Failed"), false);
}

bool UsbRoute::UsbWrite(const QByteArray& bytes)
{
    qint64 written = 0;
    ftStatus = device_->write(FtHandle, bytes, written);
    if (written > 0) {
        const Link::UsbBytes usb(link_);
        emit link_.bytesSent(bytes.left(written));
    }
    if (ftStatus == FtStatus::Ok) return true;
    sayFailure(QStringLiteral("Write Failed"));
    return false;
}

void UsbRoute::readQueued(UsbHandle handle, qint64 length)
{
    QByteArray text;
    ftStatus = device_->read(handle, length, text);
    if (!text.isEmpty()) sayText(text);
    if (ftStatus != FtStatus::Ok)
        sayFailure(statusText("FT_Read error ftStatus="));
    else if (text.isEmpty() || text.size() < length)
        sayFailure(statusText("FT_Read timeout ftStatus="));
    else
        testFailed = false;
}

bool UsbRoute::FtRead(qint64 wanted)
{
    qint64 queued = 0;
    ftStatus = device_->queueStatus(FtHandle, queued);
    if (ftStatus != FtStatus::Ok) {
        sayFailure(QStringLiteral("FT_GetQstatus failed"));
        return false;
    }
    const int before = failures_;
    readQueued(FtHandle, wanted > 0 ? wanted : queued);
    return failures_ == before;
}

bool UsbRoute::FtRec(qint64 wanted, QByteArray* got)
{
    timeoutFlag = false;
    errorFlag = false;
    totalRead = 0;
    QByteArray collected;
    while (totalRead < wanted) {
        // Only what is still missing: asking for the whole length again
        // would read past the reply into whatever follows it.
        const qint64 asked = wanted - totalRead;
        QByteArray chunk;
        ftStatus = device_->read(FtHandle, asked, chunk);
        // A transient I/O status counts as a read, as the chip's layer reports them.
        if (ftStatus != FtStatus::Ok && ftStatus != FtStatus::IoError) {
            errorFlag = true;
            break;
        }
        collected += chunk;
        totalRead += chunk.size();
        // Fewer bytes than asked: the read has waited out its time-out.
        if (chunk.size() < asked) {
            timeoutFlag = true;
            break;
        }
    }
    if (errorFlag) {
        sayFailure(statusText("FT_Read error ftStatus="));
        return false;
    }
    if (timeoutFlag) {
        sayFailure(statusText("FT_Read timeout ftStatus="));
        return false;
    }
    sayText(collected);
    if (got) *got = collected;
    testFailed = false;
    return true;
}

void UsbRoute::readReply(UsbHandle handle)
{
    // Asked at once, the queue would nearly always be empty.
    awaitReply(handle);
    qint64 queued = 0;
    ftStatus = device_->queueStatus(handle, queued);
    if (ftStatus != FtStatus::Ok)
        sayFailure(QStringLiteral("FT_GetQstatus failed"));
    else
        say(QStringLiteral("Q length = ") + QString::number(queued));
    readQueued(handle, queued);
}

void UsbRoute::awaitReply(UsbHandle handle)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    QElapsedTimer sinceByte;
    qint64 seen = 0;
    for (;;) {
        qint64 queued = 0;
        if (device_->queueStatus(handle, queued) != FtStatus::Ok) return;
        if (queued != seen) {
            seen = queued;
            sinceByte.start();
        }
        if (seen > 0 && sinceByte.elapsed() >= kReplyQuietMs) return;
        if (sinceStart.elapsed() >= device_->readTimeoutMs()) return;
        if (link_.pause(2) == WaitResult::Cancelled) return;
    }
}

// --- the bench tests ---

void UsbRoute::FtSend(const QString& command)
{
    SerialHandOver use(*this);
    if (!use.ok()) return;
    testFailed = true;
    UsbHandle handle = 0;
    ftStatus = device_->openByDescription(descriptionToOpen(), handle);
    if (ftStatus != FtStatus::Ok) {
        sayFailure(QStringLiteral("Open Failed"));
        FtdiClose();
        return;
    }
    // The command goes out left-aligned in a 256-character buffer, of which
    // only the first four bytes are written: "=v" + CR LF.
    const QByteArray buffer = (command + QStringLiteral("\r\n")).toLatin1().leftJustified(256, ' ');
    qint64 written = 0;
    ftStatus = device_->write(handle, buffer.left(kFtSendBytes), written);
    if (written > 0) {
        const Link::UsbBytes usb(link_);
        emit link_.bytesSent(buffer.left(written));
    }
    if (ftStatus != FtStatus::Ok) sayFailure(QStringLiteral("Write Failed"));
    readReply(handle);
    FtHandle = handle;
    FtdiClose();
}

void UsbRoute::FtOpenEx()
{
    SerialHandOver use(*this);
    if (!use.ok()) return;
    // Opened by a blank description, as a check of the open call itself.
    UsbHandle handle = 0;
    ftStatus = device_->openByDescription(QString(), handle);
    if (ftStatus != FtStatus::Ok) {
        sayFailure(statusText("FT_OpenEX failed "));
        return;
    }
    say(QStringLiteral("Handle= ") + QString::number(handle));
    // Left open, the device would refuse every later open.
    device_->close(handle);
}

void UsbRoute::Command55_Click()
{
    SerialHandOver use(*this);
    if (!use.ok()) return;
    testFailed = true;
    int count = 0;
    ftStatus = device_->countDevices(count);
    if (ftStatus != FtStatus::Ok)
        sayFailure(QStringLiteral("FT_GetNumDevices failed"));
    else
        say(QStringLiteral("NumDevices ") + QString::number(count));
    QString description;
    ftStatus = device_->description(0, description);
    if (ftStatus != FtStatus::Ok) {
        sayFailure(QStringLiteral("ListDevices failed"));
    }
    else {
        say(QStringLiteral("Device Description ") + description);
        UsbDescBuf = description;
    }
    QString serial;
    ftStatus = device_->serialNumber(0, serial);
    if (ftStatus != FtStatus::Ok)
        sayFailure(QStringLiteral("ListDevices failed"));
    else
        say(QStringLiteral("Serial Number ") + serial);
    ftStatus = device_->openByDescription(UsbDescBuf, FtHandle);
    if (ftStatus != FtStatus::Ok) sayFailure(QStringLiteral("Open Failed"));
    UsbWrite(QByteArray::fromStdString(withTerm(cmd::readStatus())));
    readReply(FtHandle);
    FtdiClose();
}

void UsbRoute::Command59_Click(const QString& text35)
{
    SerialHandOver use(*this);
    if (!use.ok()) return;
    testFailed = true;
    // FtdiOpen has closed again and said so; the write would only fail too.
    if (!FtdiOpen()) return;
    if (UsbWrite((QStringLiteral("=") + text35 + QStringLiteral("\r\n")).toLatin1()))
        say(text35 + QStringLiteral(" sent ok!!"));
    link_.PawS();
    FtRead(0);
    FtdiClose();
}

} // namespace plovan
