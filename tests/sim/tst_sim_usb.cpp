// The simulated unit's USB face in-process: SimFtdiDevice over the same unit
// as the serial face, its faults, and the socket client with no server.
#include "sim_backend.h"
#include "sim_ftdi_device.h"
#include "socket_ftdi_device.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using plovan::FtStatus;
using plovan::UsbHandle;
using plovan::sim::Faults;
using plovan::sim::SimBackend;
using plovan::sim::SimFtdiDevice;
using plovan::sim::SimUnit;
using plovan::sim::SocketFtdiDevice;
using plovan::sim::UsbFaults;

namespace {

const QByteArray kStatusReply =
    QByteArray("@") + QByteArray(SimUnit::kStatusText.data(), SimUnit::kStatusText.size()) + "\r\n";

UsbHandle openSim(SimFtdiDevice& device)
{
    UsbHandle handle = 0;
    const FtStatus status =
        device.openByDescription(QString::fromLatin1(plovan::sim::kSimUsbDescription), handle);
    return status == FtStatus::Ok ? handle : 0;
}

FtStatus writeText(plovan::FtdiDevice& device, UsbHandle handle, const QByteArray& bytes)
{
    qint64 written = -1;
    const FtStatus status = device.write(handle, bytes, written);
    if (status == FtStatus::Ok && written != bytes.size()) return FtStatus::OtherError;
    return status;
}

QByteArray readBytes(plovan::FtdiDevice& device, UsbHandle handle, qint64 wanted, FtStatus* status = nullptr)
{
    QByteArray out;
    const FtStatus s = device.read(handle, wanted, out);
    if (status) *status = s;
    return out;
}

} // namespace

class TstSimUsb : public QObject {
    Q_OBJECT
private slots:
    void listsOpensAndAnswers();
    void sharesTheUnitWithTheSerialFace();
    void partialLinesStayWithTheirFace();
    void noDeviceListsNothing();
    void openFailsIsRefused();
    void writeFailsReachesNothing();
    void shortReadStopsShort();
    void unplugEndsTheSession();
    void replyDelayHoldsTheReply();
    void socketClientWithoutServer();
    void socketClientWithSilentServer();
};

void TstSimUsb::listsOpensAndAnswers()
{
    SimFtdiDevice device(std::make_shared<SimUnit>());
    QCOMPARE(device.name(), QStringLiteral("simulated USB device"));
    int count = -1;
    QCOMPARE(device.countDevices(count), FtStatus::Ok);
    QCOMPARE(count, 1);
    QString text;
    QCOMPARE(device.description(0, text), FtStatus::Ok);
    QCOMPARE(text, QStringLiteral("Velmar Plovan USB"));
    QCOMPARE(device.serialNumber(0, text), FtStatus::Ok);
    QCOMPARE(text, QStringLiteral("PLV-SIM-0001"));
    QCOMPARE(device.description(1, text), FtStatus::DeviceNotFound);

    UsbHandle handle = 0;
    QCOMPARE(device.openByDescription(QStringLiteral("Some other device"), handle), FtStatus::DeviceNotFound);
    handle = openSim(device);
    QVERIFY(handle != 0);
    QCOMPARE(writeText(device, handle, "=v\r\n"), FtStatus::Ok);
    qint64 waiting = 0;
    QCOMPARE(device.queueStatus(handle, waiting), FtStatus::Ok);
    QCOMPARE(waiting, kStatusReply.size());
    QCOMPARE(readBytes(device, handle, kStatusReply.size()), kStatusReply);
    QCOMPARE(device.close(handle), FtStatus::Ok);
}

void TstSimUsb::sharesTheUnitWithTheSerialFace()
{
    SimBackend serial;
    SimFtdiDevice usb(serial.sharedUnit());
    const UsbHandle handle = openSim(usb);
    QVERIFY(handle != 0);
    QCOMPARE(writeText(usb, handle, "=D5AE4\r\n"), FtStatus::Ok);
    QCOMPARE(readBytes(usb, handle, 1), QByteArray("@"));
    QCOMPARE(serial.unit().registerValue(0xE4), 0x5A);

    QByteArray got;
    connect(&serial, &SimBackend::bytesReceived, this, [&got](const QByteArray& b) { got += b; });
    QVERIFY(serial.open().ok);
    QVERIFY(serial.writeText("=dE4\r\n"));
    QTRY_COMPARE(got, QByteArray("@5A\r\n"));
    // What the serial face wrote is read back over USB.
    QVERIFY(serial.writeText("=D3344\r\n"));
    QCOMPARE(writeText(usb, handle, "=d44\r\n"), FtStatus::Ok);
    QCOMPARE(readBytes(usb, handle, 5), QByteArray("@33\r\n"));
}

void TstSimUsb::partialLinesStayWithTheirFace()
{
    SimBackend serial;
    SimFtdiDevice usb(serial.sharedUnit());
    QByteArray got;
    connect(&serial, &SimBackend::bytesReceived, this, [&got](const QByteArray& b) { got += b; });
    QVERIFY(serial.open().ok);
    const UsbHandle handle = openSim(usb);
    QVERIFY(handle != 0);

    // Half a line typed on the serial face, a whole one and half of the next over USB.
    QVERIFY(serial.writeText("=D5"));
    QCOMPARE(writeText(usb, handle, "=D11E3\r\n=D2"), FtStatus::Ok);
    QCOMPARE(readBytes(usb, handle, 1), QByteArray("@"));
    QCOMPARE(serial.unit().registerValue(0xE3), 0x11);
    // Each face finishes its own line.
    QVERIFY(serial.writeText("AE4\r\n"));
    QCOMPARE(writeText(usb, handle, "245\r\n"), FtStatus::Ok);
    QCOMPARE(readBytes(usb, handle, 1), QByteArray("@"));
    QTRY_COMPARE(got, QByteArray("@"));
    QCOMPARE(serial.unit().registerValue(0xE4), 0x5A);
    QCOMPARE(serial.unit().registerValue(0x45), 0x22);
    QCOMPARE(serial.unit().commands(), (std::vector<std::string>{"=D11E3", "=D5AE4", "=D2245"}));
}

void TstSimUsb::noDeviceListsNothing()
{
    SimFtdiDevice device(std::make_shared<SimUnit>(), UsbFaults{.noDevice = true});
    int count = -1;
    QCOMPARE(device.countDevices(count), FtStatus::Ok);
    QCOMPARE(count, 0);
    QString text;
    QCOMPARE(device.description(0, text), FtStatus::DeviceNotFound);
    QCOMPARE(device.serialNumber(0, text), FtStatus::DeviceNotFound);
    QVERIFY(!device.lastError().isEmpty());
    QCOMPARE(openSim(device), UsbHandle(0));
    QVERIFY(!device.isOpen());

    device.setUsbFaults({});
    QCOMPARE(device.countDevices(count), FtStatus::Ok);
    QCOMPARE(count, 1);
}

void TstSimUsb::openFailsIsRefused()
{
    SimFtdiDevice device(std::make_shared<SimUnit>(), UsbFaults{.openFails = true});
    int count = 0;
    QCOMPARE(device.countDevices(count), FtStatus::Ok);
    QCOMPARE(count, 1);
    UsbHandle handle = 0;
    QCOMPARE(device.openByDescription(QStringLiteral("Velmar Plovan USB"), handle),
             FtStatus::DeviceNotOpened);
    QCOMPARE(handle, UsbHandle(0));
    QCOMPARE(device.lastError(), QStringLiteral("the simulated device refused the open"));
}

void TstSimUsb::writeFailsReachesNothing()
{
    auto unit = std::make_shared<SimUnit>();
    SimFtdiDevice device(unit, UsbFaults{.writeFails = true});
    const UsbHandle handle = openSim(device);
    QVERIFY(handle != 0);
    qint64 written = -1;
    QCOMPARE(device.write(handle, "=D5AE4\r\n", written), FtStatus::IoError);
    QCOMPARE(written, 0);
    QVERIFY(!device.lastError().isEmpty());
    QVERIFY(unit->commands().empty());
    QCOMPARE(unit->registerValue(0xE4), 0);
    qint64 waiting = -1;
    QCOMPARE(device.queueStatus(handle, waiting), FtStatus::Ok);
    QCOMPARE(waiting, 0);
}

void TstSimUsb::shortReadStopsShort()
{
    SimFtdiDevice device(std::make_shared<SimUnit>(), UsbFaults{.shortReads = 3});
    device.setReadTimeoutMs(50);
    const UsbHandle handle = openSim(device);
    QVERIFY(handle != 0);
    QCOMPARE(writeText(device, handle, "=v\r\n"), FtStatus::Ok);
    FtStatus status = FtStatus::OtherError;
    // The read runs into its time-out with what came.
    QCOMPARE(readBytes(device, handle, kStatusReply.size(), &status), kStatusReply.left(3));
    QCOMPARE(status, FtStatus::Ok);
    // The rest of that reply never comes; the next reply is cut the same way.
    QCOMPARE(writeText(device, handle, "=e\r\n"), FtStatus::Ok);
    QCOMPARE(readBytes(device, handle, 10), QByteArray("@00"));
}

void TstSimUsb::unplugEndsTheSession()
{
    auto unit = std::make_shared<SimUnit>();
    SimFtdiDevice device(unit, UsbFaults{.unplugAfter = 2});
    const UsbHandle handle = openSim(device);
    QVERIFY(handle != 0);
    QCOMPARE(writeText(device, handle, "=v\r\n"), FtStatus::Ok);
    QCOMPARE(readBytes(device, handle, kStatusReply.size()), kStatusReply);
    // The second write still reaches the unit; then the device is gone.
    QCOMPARE(writeText(device, handle, "=D5AE4\r\n"), FtStatus::Ok);
    QCOMPARE(unit->registerValue(0xE4), 0x5A);
    FtStatus status = FtStatus::Ok;
    QCOMPARE(readBytes(device, handle, 1, &status), QByteArray());
    QCOMPARE(status, FtStatus::DeviceNotFound);
    QCOMPARE(device.lastError(), QStringLiteral("the USB device was unplugged"));
    qint64 waiting = -1;
    QCOMPARE(device.queueStatus(handle, waiting), FtStatus::DeviceNotFound);
    QCOMPARE(writeText(device, handle, "=v\r\n"), FtStatus::DeviceNotFound);
    QCOMPARE(unit->commands().size(), 2u);
    int count = -1;
    QCOMPARE(device.countDevices(count), FtStatus::Ok);
    QCOMPARE(count, 0);
    QCOMPARE(device.close(handle), FtStatus::Ok);
    QCOMPARE(openSim(device), UsbHandle(0));
}

void TstSimUsb::replyDelayHoldsTheReply()
{
    auto unit = std::make_shared<SimUnit>();
    unit->setFaults(Faults{.replyDelayMs = 400});
    SimFtdiDevice device(unit);
    const UsbHandle handle = openSim(device);
    QVERIFY(handle != 0);
    QCOMPARE(writeText(device, handle, "=v\r\n"), FtStatus::Ok);
    device.setReadTimeoutMs(20);
    QCOMPARE(readBytes(device, handle, kStatusReply.size()), QByteArray());
    device.setReadTimeoutMs(5000);
    QCOMPARE(readBytes(device, handle, kStatusReply.size()), kStatusReply);
}

void TstSimUsb::socketClientWithoutServer()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("usb"));
    SocketFtdiDevice device(path);
    QCOMPARE(device.name(), QStringLiteral("simulated USB device (%1)").arg(path));
    const QString why = QStringLiteral("no simulated unit serves %1").arg(path);
    int count = -1;
    QVERIFY(device.countDevices(count) != FtStatus::Ok);
    QCOMPARE(count, 0);
    QCOMPARE(device.lastError(), why);
    QString text;
    QVERIFY(device.description(0, text) != FtStatus::Ok);
    QCOMPARE(device.lastError(), why);
    UsbHandle handle = 0;
    QVERIFY(device.openByDescription(QStringLiteral("Velmar Plovan USB"), handle) != FtStatus::Ok);
    QCOMPARE(device.lastError(), why);
    QVERIFY(!device.isOpen());
}

void TstSimUsb::socketClientWithSilentServer()
{
    // A socket that takes connections and never answers.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("usb"));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = path.toLocal8Bit();
    QVERIFY(static_cast<std::size_t>(name.size()) < sizeof address.sun_path);
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    QCOMPARE(::listen(fd, 4), 0);

    SocketFtdiDevice device(path);
    int count = -1;
    QVERIFY(device.countDevices(count) != FtStatus::Ok);
    QCOMPARE(device.lastError(),
             QStringLiteral("the simulated unit's USB socket %1 does not answer").arg(path));
    ::close(fd);
}

QTEST_GUILESS_MAIN(TstSimUsb)
#include "tst_sim_usb.moc"
