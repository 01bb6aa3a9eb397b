// plovan-sim as a program (PLOVAN_SIM_BIN), and its option parsing.
#include "pty_client.h"
#include "sim_server.h"
#include "socket_ftdi_device.h"
#include "usb_socket_protocol.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>

using plovan::FtStatus;
using plovan::UsbHandle;
using plovan::sim::parseServerArgs;
using plovan::sim::SocketFtdiDevice;

namespace {

const QByteArray kStatusReply =
    QByteArray("@") +
    QByteArray(plovan::sim::SimUnit::kStatusText.data(), plovan::sim::SimUnit::kStatusText.size()) + "\r\n";

// A Unix socket connected to `path`, or -1.
int connectTo(const QString& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = path.toLocal8Bit();
    if (static_cast<std::size_t>(name.size()) >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

UsbHandle openUsb(SocketFtdiDevice& device)
{
    UsbHandle handle = 0;
    return device.openByDescription(QStringLiteral("Velmar Plovan USB"), handle) == FtStatus::Ok ? handle : 0;
}

FtStatus writeUsb(SocketFtdiDevice& device, UsbHandle handle, const QByteArray& bytes)
{
    qint64 written = 0;
    const FtStatus status = device.write(handle, bytes, written);
    return status == FtStatus::Ok && written != bytes.size() ? FtStatus::OtherError : status;
}

QByteArray readUsb(SocketFtdiDevice& device, UsbHandle handle, qint64 wanted, FtStatus* status = nullptr)
{
    device.setReadTimeoutMs(5000); // a limit for a broken test; the reads end when the bytes are in
    QByteArray out;
    const FtStatus s = device.read(handle, wanted, out);
    if (status) *status = s;
    return out;
}

} // namespace

class TstPlovanSim : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void servesAndLogsUntilTerminated();
    void hangUpFaultEndsTheProgram();
    void badOptionsExitWith2_data();
    void badOptionsExitWith2();
    void parsesOptions();
    void usbSocketServesTheSameUnit();
    void usbFaultsActOverTheSocket();
    void usbServerOutlivesVanishingClients();
    void usbSocketGoesWithTheServer();
    void usbSocketPathIsChecked();

private:
    // Starts the program and returns the device path from its first line,
    // and the USB socket's path from its second in `usbPath`.
    QString start(QProcess& process, const QStringList& args, QString* usbPath = nullptr);
    QString program_;
};

void TstPlovanSim::initTestCase()
{
    program_ = qEnvironmentVariable("PLOVAN_SIM_BIN");
    if (program_.isEmpty()) QSKIP("PLOVAN_SIM_BIN is not set (run through CTest)");
}

QString TstPlovanSim::start(QProcess& process, const QStringList& args, QString* usbPath)
{
    process.start(program_, args);
    if (!process.waitForStarted()) return {};
    QStringList lines;
    while (lines.size() < 2) {
        while (!process.canReadLine())
            if (!process.waitForReadyRead()) return {};
        lines << QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    if (usbPath) *usbPath = lines[1];
    return lines[0];
}

void TstPlovanSim::servesAndLogsUntilTerminated()
{
    QProcess process;
    const QString path = start(process, {});
    QVERIFY2(path.startsWith(QLatin1String("/dev/pts/")), qPrintable(path));
    {
        PtyClient client(path);
        QVERIFY(client.isOpen());
        client.write("=D5144\r\n=DEB45\r\n=D8546\r\n=D1E47\r\n=X\r\n");
        QCOMPARE(client.read(7), QByteArray("@@@@?\r\n"));
    }
    QByteArray log;
    QTRY_VERIFY((log += process.readAllStandardOutput()).contains("=X -> "));
    QVERIFY(log.contains("=D5144 -> reg 44 := 51\n"));
    QVERIFY(log.contains("  frequency 100.000000 MHz"));

    process.terminate(); // SIGTERM
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

void TstPlovanSim::hangUpFaultEndsTheProgram()
{
    QProcess process;
    const QString path = start(process, {QStringLiteral("--fault"), QStringLiteral("hangup:1")});
    QVERIFY(path.startsWith(QLatin1String("/dev/pts/")));
    PtyClient client(path);
    client.write("=r\r\n");
    QCOMPARE(client.read(2), QByteArray("@"));
    QVERIFY(client.hungUp());
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

void TstPlovanSim::badOptionsExitWith2_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown option") << QStringList{"--bogus"};
    QTest::newRow("unknown fault") << QStringList{"--fault", "nonsense"};
    QTest::newRow("fault without count") << QStringList{"--fault", "crc-error:0"};
    QTest::newRow("delay not a number") << QStringList{"--delay", "abc"};
    QTest::newRow("delay missing") << QStringList{"--delay"};
    QTest::newRow("unknown crc") << QStringList{"--crc", "md5"};
    QTest::newRow("unknown USB fault") << QStringList{"--usb-fault", "on-fire"};
    QTest::newRow("USB fault without count") << QStringList{"--usb-fault", "short-read:0"};
    QTest::newRow("USB fault with a word") << QStringList{"--usb-fault", "unplug:soon"};
    QTest::newRow("USB socket missing") << QStringList{"--usb-socket"};
    QTest::newRow("reflect on no output") << QStringList{"--fault", "reflect:J5:0.5"};
    QTest::newRow("reflect above 1") << QStringList{"--fault", "reflect:J2:1.5"};
    QTest::newRow("reflect without share") << QStringList{"--fault", "reflect:J2:"};
}

void TstPlovanSim::badOptionsExitWith2()
{
    QFETCH(QStringList, args);
    QProcess process;
    process.start(program_, args);
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardOutput().isEmpty()); // no device line
    QVERIFY(!process.readAllStandardError().isEmpty());
}

void TstPlovanSim::parsesOptions()
{
    const auto options =
        parseServerArgs({"--fault", "silent", "--fault=crc-error:3", "--fault", "hangup:5", "--fault",
                         "garbage", "--fault", "too-big", "--fault", "answer:3", "--fault=flood:100",
                         "--delay=15", "--crc", "kermit", "-q", "--fault", "reflect:J2:0.5"});
    QVERIFY(options);
    QCOMPARE(options->faults, (plovan::sim::Faults{.silent = true,
                                                   .replyDelayMs = 15,
                                                   .crcErrorAtLine = 3,
                                                   .tooBig = true,
                                                   .garbage = true,
                                                   .hangUpAfter = 5,
                                                   .answerLines = 3,
                                                   .floodBytes = 100,
                                                   .reflect = {0, 0.5, 0, 0}}));
    QCOMPARE(options->crcModel, plovan::Crc16Model::Kermit);
    QVERIFY(options->quiet);
    QCOMPARE(options->usbFaults, plovan::sim::UsbFaults{});
    QVERIFY(options->usbSocket.isEmpty());

    const auto usb = parseServerArgs({"--usb-fault", "no-device", "--usb-fault=open-fails", "--usb-fault",
                                      "write-fails", "--usb-fault", "short-read:4", "--usb-fault=unplug:2",
                                      "--usb-socket", "relative/usb"});
    QVERIFY(usb);
    QCOMPARE(
        usb->usbFaults,
        (plovan::sim::UsbFaults{
            .noDevice = true, .openFails = true, .writeFails = true, .shortReads = 4, .unplugAfter = 2}));
    QCOMPARE(usb->faults, plovan::sim::Faults{});
    QCOMPARE(usb->usbSocket, QFileInfo(QStringLiteral("relative/usb")).absoluteFilePath());
    QString error;
    QVERIFY(!parseServerArgs({"--quiet=1"}, &error));
    QVERIFY(error.contains("--quiet"));
}

void TstPlovanSim::usbSocketServesTheSameUnit()
{
    QProcess process;
    QString usbPath;
    const QString path = start(process, {}, &usbPath);
    QVERIFY2(path.startsWith(QLatin1String("/dev/pts/")), qPrintable(path));
    QCOMPARE(usbPath, plovan::sim::simUsbSocketFor(path));

    SocketFtdiDevice usb(usbPath);
    int count = 0;
    QCOMPARE(usb.countDevices(count), FtStatus::Ok);
    QCOMPARE(count, 1);
    QString text;
    QCOMPARE(usb.description(0, text), FtStatus::Ok);
    QCOMPARE(text, QStringLiteral("Velmar Plovan USB"));
    QCOMPARE(usb.serialNumber(0, text), FtStatus::Ok);
    QCOMPARE(text, QStringLiteral("PLV-SIM-0001"));
    QCOMPARE(usb.description(1, text), FtStatus::DeviceNotFound);

    const UsbHandle handle = openUsb(usb);
    QVERIFY2(handle != 0, qPrintable(usb.lastError()));
    QCOMPARE(writeUsb(usb, handle, "=v\r\n"), FtStatus::Ok);
    QCOMPARE(readUsb(usb, handle, kStatusReply.size()), kStatusReply);

    // A register written over USB is what the serial face reads back.
    QCOMPARE(writeUsb(usb, handle, "=D5AE4\r\n"), FtStatus::Ok);
    QCOMPARE(readUsb(usb, handle, 1), QByteArray("@"));
    PtyClient serial(path);
    QVERIFY(serial.isOpen());
    QVERIFY(serial.write("=dE4\r\n"));
    QCOMPARE(serial.read(5), QByteArray("@5A\r\n"));
    QCOMPARE(usb.close(handle), FtStatus::Ok);

    QByteArray log;
    QTRY_VERIFY((log += process.readAllStandardOutput()).contains("usb: device closed"));
    QVERIFY(log.contains("=D5AE4 -> reg E4 := 5A\n"));
    QVERIFY(log.contains("usb: device opened\n"));
    process.terminate();
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 0);
}

void TstPlovanSim::usbFaultsActOverTheSocket()
{
    {
        QProcess process;
        QString usbPath;
        start(process, {QStringLiteral("--usb-fault"), QStringLiteral("no-device")}, &usbPath);
        QByteArray log;
        QTRY_VERIFY((log += process.readAllStandardOutput()).contains("USB faults: no-device\n"));
        SocketFtdiDevice usb(usbPath);
        int count = -1;
        QCOMPARE(usb.countDevices(count), FtStatus::Ok);
        QCOMPARE(count, 0);
        QString text;
        QCOMPARE(usb.description(0, text), FtStatus::DeviceNotFound);
        UsbHandle handle = 0;
        QCOMPARE(usb.openByDescription(QStringLiteral("Velmar Plovan USB"), handle),
                 FtStatus::DeviceNotFound);
        process.terminate();
        QVERIFY(process.waitForFinished());
    }
    {
        QProcess process;
        QString usbPath;
        const QString path = start(process, {QStringLiteral("--usb-fault=unplug:2")}, &usbPath);
        SocketFtdiDevice usb(usbPath);
        const UsbHandle handle = openUsb(usb);
        QVERIFY(handle != 0);
        QCOMPARE(writeUsb(usb, handle, "=v\r\n"), FtStatus::Ok);
        QCOMPARE(readUsb(usb, handle, kStatusReply.size()), kStatusReply);
        // The second write is delivered; then the device is gone.
        QCOMPARE(writeUsb(usb, handle, "=D5AE4\r\n"), FtStatus::Ok);
        FtStatus status = FtStatus::Ok;
        QCOMPARE(readUsb(usb, handle, 1, &status), QByteArray());
        QCOMPARE(status, FtStatus::DeviceNotFound);
        QCOMPARE(usb.lastError(), QStringLiteral("the USB device was unplugged"));
        QCOMPARE(writeUsb(usb, handle, "=v\r\n"), FtStatus::DeviceNotFound);
        int count = -1;
        QCOMPARE(usb.countDevices(count), FtStatus::Ok);
        QCOMPARE(count, 0);
        QCOMPARE(usb.close(handle), FtStatus::Ok);
        // The serial face goes on, and saw the write.
        PtyClient serial(path);
        serial.write("=dE4\r\n");
        QCOMPARE(serial.read(5), QByteArray("@5A\r\n"));
        process.terminate();
        QVERIFY(process.waitForFinished());
    }
}

void TstPlovanSim::usbServerOutlivesVanishingClients()
{
    QProcess process;
    QString usbPath;
    const QString path = start(process, {QStringLiteral("--quiet")}, &usbPath);
    {
        // Opens the device, sends half a write and vanishes.
        const int fd = connectTo(usbPath);
        QVERIFY(fd >= 0);
        const QByteArray open = plovan::sim::usbwire::encodeFrame('O', "Velmar Plovan USB");
        const QByteArray write = plovan::sim::usbwire::encodeFrame('W', "=v\r\n");
        QByteArray bytes = open + write.left(write.size() - 3);
        QCOMPARE(::write(fd, bytes.constData(), bytes.size()), bytes.size());
        char answer[16];
        QVERIFY(::read(fd, answer, sizeof answer) > 0); // the open was taken
        ::close(fd);
    }
    {
        // Rubbish instead of frames.
        const int fd = connectTo(usbPath);
        QVERIFY(fd >= 0);
        const QByteArray rubbish("\xff\xff\xff\xff\xff\xffnot a frame");
        QCOMPARE(::write(fd, rubbish.constData(), rubbish.size()), rubbish.size());
        ::close(fd);
    }
    {
        SocketFtdiDevice first(usbPath);
        const UsbHandle handle = openUsb(first);
        QVERIFY2(handle != 0, qPrintable(first.lastError()));
        // One open session at a time; listing still works meanwhile.
        SocketFtdiDevice second(usbPath);
        int count = 0;
        QCOMPARE(second.countDevices(count), FtStatus::Ok);
        QCOMPARE(count, 1);
        UsbHandle other = 0;
        QCOMPARE(second.openByDescription(QStringLiteral("Velmar Plovan USB"), other),
                 FtStatus::DeviceNotOpened);
        QCOMPARE(writeUsb(first, handle, "=v\r\n"), FtStatus::Ok);
        QCOMPARE(readUsb(first, handle, kStatusReply.size()), kStatusReply);
        // `first` goes without closing.
    }
    SocketFtdiDevice next(usbPath);
    const UsbHandle handle = openUsb(next);
    QVERIFY2(handle != 0, qPrintable(next.lastError()));
    QCOMPARE(writeUsb(next, handle, "=v\r\n"), FtStatus::Ok);
    QCOMPARE(readUsb(next, handle, kStatusReply.size()), kStatusReply);
    // A write longer than a frame carries arrives whole.
    const QByteArray many = QByteArray("=D5AE4\r\n").repeated(20000);
    QCOMPARE(writeUsb(next, handle, many), FtStatus::Ok);
    QCOMPARE(readUsb(next, handle, 20000), QByteArray(20000, '@'));
    PtyClient serial(path);
    serial.write("=r\r\n");
    QCOMPARE(serial.read(1), QByteArray("@"));
    QCOMPARE(process.state(), QProcess::Running);
    process.terminate();
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 0);
}

void TstPlovanSim::usbSocketGoesWithTheServer()
{
    QProcess process;
    QString usbPath;
    start(process, {QStringLiteral("--quiet")}, &usbPath);
    SocketFtdiDevice usb(usbPath);
    const UsbHandle handle = openUsb(usb);
    QVERIFY(handle != 0);
    process.terminate();
    QVERIFY(process.waitForFinished());
    QVERIFY(!QFileInfo::exists(usbPath));

    FtStatus status = FtStatus::Ok;
    readUsb(usb, handle, 1, &status);
    QCOMPARE(status, FtStatus::DeviceNotFound);
    QCOMPARE(usb.lastError(), QStringLiteral("the USB device was unplugged"));
    QCOMPARE(writeUsb(usb, handle, "=v\r\n"), FtStatus::DeviceNotFound);
    QCOMPARE(usb.close(handle), FtStatus::Ok);
    int count = -1;
    QVERIFY(usb.countDevices(count) != FtStatus::Ok);
    QCOMPARE(usb.lastError(), QStringLiteral("no simulated unit serves %1").arg(usbPath));
}

void TstPlovanSim::usbSocketPathIsChecked()
{
    QTemporaryDir dir;
    const QString usbPath = dir.filePath(QStringLiteral("usb"));
    {
        // A socket file left by a server that was killed is replaced.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = usbPath.toLocal8Bit();
        std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
        QVERIFY(QFileInfo::exists(usbPath));
    }
    QProcess process;
    QString served;
    start(process, {QStringLiteral("--usb-socket"), usbPath, QStringLiteral("--quiet")}, &served);
    QCOMPARE(served, usbPath);
    SocketFtdiDevice usb(usbPath);
    int count = 0;
    QCOMPARE(usb.countDevices(count), FtStatus::Ok);
    QCOMPARE(count, 1);

    // A second server on the same path is refused, and so is a path that is no socket.
    QProcess second;
    second.start(program_, {QStringLiteral("--usb-socket"), usbPath});
    QVERIFY(second.waitForFinished());
    QCOMPARE(second.exitCode(), 1);
    QVERIFY(second.readAllStandardError().contains("another simulated unit serves"));
    QCOMPARE(usb.countDevices(count), FtStatus::Ok);

    const QString file = dir.filePath(QStringLiteral("file"));
    QFile plain(file);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    second.start(program_, {QStringLiteral("--usb-socket"), file});
    QVERIFY(second.waitForFinished());
    QCOMPARE(second.exitCode(), 1);
    QVERIFY(second.readAllStandardOutput().isEmpty());
    QVERIFY(QFileInfo(file).isFile());

    process.terminate();
    QVERIFY(process.waitForFinished());
}

QTEST_GUILESS_MAIN(TstPlovanSim)
#include "tst_plovan_sim.moc"
