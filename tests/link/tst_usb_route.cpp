// The USB route against a scripted device: the messages of each bench test in
// order, the bytes written, how reads end, and the serial port around a use.
#include "fake_backend.h"
#include "fake_ftdi_device.h"
#include "link.h"
#include "usb_route.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace plovan;

namespace {

const QByteArray kStatusReply = "@Plovan 3.09 ready\r\n";

QByteArray answerStatus(const QByteArray&)
{
    return kStatusReply;
}

} // namespace

class TestUsbRoute : public QObject {
    Q_OBJECT

    Link* link = nullptr;
    FakeBackend* port = nullptr;
    UsbRoute* route = nullptr;
    FakeFtdiDevice* device = nullptr;
    QStringList said; // the route's output, line by line

    void useDevice()
    {
        auto d = std::make_unique<FakeFtdiDevice>();
        device = d.get();
        device->setReadTimeoutMs(100);
        route->setDevice(std::move(d));
    }

private slots:
    void init()
    {
        link = new Link;
        auto backend = std::make_unique<FakeBackend>();
        port = backend.get();
        link->setBackend(std::move(backend));
        route = new UsbRoute(*link);
        said.clear();
        connect(route, &UsbRoute::output, this, [this](const QString& text) {
            said += text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        });
        useDevice();
    }
    void cleanup()
    {
        delete route;
        delete link;
    }

    // --- start-up ---

    void startUpWithoutADeviceIsRs232Only()
    {
        device->deviceCount = 0;
        const UsbStartup u = route->probeAtStartup();
        QVERIFY(!route->FtdiMode);
        QCOMPARE(u.VerSion, QString("3.09"));
        QCOMPARE(u.captionNote, QString(" No usb found RS232 only"));
        QVERIFY(u.descriptionLine.isEmpty());

        // No device layer at all answers the same.
        route->setDevice(nullptr);
        route->probeAtStartup();
        QVERIFY(!route->FtdiMode);
    }

    void startUpWithADeviceChoosesUsb()
    {
        const UsbStartup u = route->probeAtStartup();
        QVERIFY(route->FtdiMode);
        QCOMPARE(u.VerSion, QString("3.09 usb"));
        QVERIFY(u.captionNote.isEmpty());
        QCOMPARE(route->UsbDescBuf, QString("Plovan RF"));
        QCOMPARE(u.descriptionLine, QString("Device Description Plovan RF"));

        // The description is asked again for its line, and that can fail.
        device->descriptions = {QString("Plovan RF"), std::nullopt};
        const UsbStartup f = route->probeAtStartup();
        QVERIFY(route->FtdiMode);
        QCOMPARE(f.descriptionLine, QString("ListDevices failed"));
    }

    // --- "FTDI Test" ---

    void ftdiTestWithoutADeviceReportsEveryStep()
    {
        device->deviceCount = 0;
        device->reason = "no device";
        route->Command55_Click();
        QCOMPARE(said, QStringList({"NumDevices 0", "ListDevices failed", "(no device)", "ListDevices failed",
                                    "Open Failed", "(no device called \"\")", "Write Failed",
                                    "(the USB device is not open)", "FT_GetQstatus failed",
                                    "FT_Read error ftStatus=1", "Close Failed", "Test Failed"}));
        QVERIFY(route->failures() > 0);
        QVERIFY(!route->busy());
        QVERIFY(link->terminalText().contains("NumDevices 0\r\n"));
    }

    void ftdiTestWithADeviceShowsTheReply()
    {
        device->responder = answerStatus;
        route->Command55_Click();
        QCOMPARE(said,
                 QStringList({"NumDevices 1", "Device Description Plovan RF", "Serial Number FT000042",
                              QString("Q length = %1").arg(kStatusReply.size()), "@Plovan 3.09 ready"}));
        QCOMPARE(device->writes, QByteArrayList{"=v\r\n"});
        QCOMPARE(device->opens, 1);
        QCOMPARE(device->closes, 1);
        QCOMPARE(route->failures(), 0);
        QVERIFY(link->terminalText().endsWith(kStatusReply));
    }

    void aSilentUnitFailsTheTest()
    {
        route->Command55_Click();
        QCOMPARE(said.mid(3), QStringList({"Q length = 0", "FT_Read timeout ftStatus=0", "Test Failed"}));
    }

    // --- FtSend ---

    void ftSendWritesExactlyFourBytes_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("=v") << "=v" << QByteArray("=v\r\n");
        QTest::newRow("longer") << "=dA3" << QByteArray("=dA3");
        QTest::newRow("short") << "v" << QByteArray("v\r\n ");
    }
    void ftSendWritesExactlyFourBytes()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, written);
        device->responder = answerStatus;
        route->FtSend(command);
        QCOMPARE(device->writes, QByteArrayList{written});
        QCOMPARE(said,
                 QStringList({QString("Q length = %1").arg(kStatusReply.size()), "@Plovan 3.09 ready"}));
    }

    void ftSendStopsAfterAFailedOpen()
    {
        device->openStatus = FtStatus::DeviceNotOpened;
        device->reason = "access to USB device 0403:6001 denied";
        route->FtSend("=v");
        QCOMPARE(said, QStringList({"Open Failed", "(access to USB device 0403:6001 denied)", "Close Failed",
                                    "Test Failed"}));
        QVERIFY(device->writes.isEmpty());
    }

    // --- the block reader ---

    void blockReadTakesExactlyTheWantedLength()
    {
        QVERIFY(route->FtdiOpen());
        device->arrive("ABCDEFGHIJXYZ");
        QVERIFY(route->FtRec(10));
        QVERIFY(link->terminalText().endsWith("ABCDEFGHIJ"));
        qint64 left = 0;
        QCOMPARE(device->queueStatus(route->FtHandle, left), FtStatus::Ok);
        QCOMPARE(left, 3); // what follows the reply stays for the next read
    }

    void blockReadCollectsAReplyArrivingInPieces()
    {
        QVERIFY(route->FtdiOpen());
        device->arrive("ABCDE");
        QTimer::singleShot(20, this, [this] { device->arrive("FGHIJ"); });
        QVERIFY(route->FtRec(10));
        QVERIFY(link->terminalText().endsWith("ABCDEFGHIJ"));
        QVERIFY(!route->timeoutFlag);
    }

    void aReplyThatStopsShortTimesOutAndIsLeftOut()
    {
        device->replyBytesLimit = 5;
        device->responder = [](const QByteArray&) { return QByteArray("@PARTIAL-REPLY\r\n"); };
        QVERIFY(route->FtdiOpen());
        QVERIFY(route->UsbWrite("=v\r\n"));
        QVERIFY(!route->FtRec(16));
        QVERIFY(route->timeoutFlag);
        QCOMPARE(said, QStringList{"FT_Read timeout ftStatus=0"});
        QVERIFY(!link->terminalText().contains("@PART"));
    }

    void unplugMidReadEndsTheReadWithAMessage()
    {
        QVERIFY(route->FtdiOpen());
        device->arrive("@Pl");
        device->fetchStatus = FtStatus::DeviceNotFound;
        device->reason = "the USB device was unplugged";
        QVERIFY(!route->FtRec(16));
        QVERIFY(route->errorFlag);
        QCOMPARE(said, QStringList({"FT_Read error ftStatus=2", "(the USB device was unplugged)"}));
    }

    // --- "= * via DLL " and Command63 ---

    void viaDllWritesTheBoxWithEqualsAndLineEnd()
    {
        device->responder = answerStatus;
        route->probeAtStartup();
        route->Command59_Click("v");
        QCOMPARE(device->writes, QByteArrayList{"=v\r\n"});
        QCOMPARE(said, QStringList({"v sent ok!!", "@Plovan 3.09 ready"}));
        QCOMPARE(device->closes, 1);
    }

    // The chip's line is the serial port's (portset.txt, "Fast!!"), not a
    // fixed 9600 8N1.
    void theUsbLineTakesTheSerialPortsSettings()
    {
        PortSettings serial;
        serial.baud = 57600;
        serial.dataBits = 7;
        serial.parity = ParityEven;
        port->setSettings(serial);
        route->probeAtStartup();
        QVERIFY(route->FtdiOpen());
        QCOMPARE(device->lineSettings().baud, 57600);
        QCOMPARE(device->lineSettings().dataBits, 7);
        QCOMPARE(device->lineSettings().parity, int(ParityEven));
        QCOMPARE(device->lineSettings().stopBits, 1);
        route->FtdiClose();
        // The default serial settings: 9600 baud, 8 data bits, odd parity.
        port->setSettings(PortSettings{});
        QVERIFY(route->FtdiOpen());
        QCOMPARE(device->lineSettings().parity, int(ParityOdd));
        route->FtdiClose();
    }

    // The communications log hears USB traffic as it hears the serial port's.
    void usbTrafficReachesTheLinksSignals()
    {
        device->responder = answerStatus;
        route->probeAtStartup();
        QSignalSpy sent(link, &Link::bytesSent);
        QSignalSpy received(link, &Link::bytesReceived);
        route->Command59_Click("v");
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().first().toByteArray(), QByteArray("=v\r\n"));
        QByteArray got;
        for (const auto& args : received)
            got += args.first().toByteArray();
        QCOMPARE(got, kStatusReply);
        QVERIFY(link->terminalText().contains("@Plovan 3.09 ready"));
    }

    // A failed open says in one line why: no device, or the layer's reason.
    void aFailedOpenSaysWhyInOneLine()
    {
        device->deviceCount = 0;
        QVERIFY(!route->FtdiOpen());
        QCOMPARE(route->openFailure(), QString("no USB device attached"));
        QString why;
        QVERIFY(!route->deviceListed(&why));
        QCOMPARE(why, QString("no USB device attached"));
    }

    void viaDllReportsAFailedWrite()
    {
        device->writeStatus = FtStatus::IoError;
        route->probeAtStartup();
        route->Command59_Click("v");
        QCOMPARE(said.first(), QString("Write Failed"));
        QVERIFY(!said.contains("v sent ok!!"));
        QCOMPARE(said.last(), QString("Test Failed"));
    }

    void openExReportsTheHandleAndGivesTheDeviceBack()
    {
        route->FtOpenEx();
        QCOMPARE(said.first(), QString("FT_OpenEX failed 2"));

        said.clear();
        device->deviceDescription = QString();
        route->FtOpenEx();
        QCOMPARE(said, QStringList{"Handle= 1"});
        QVERIFY(!device->isOpen());
    }

    // --- the serial port around a use ---

    void theSerialPortIsShutDuringAUseAndOpenedAfter()
    {
        QVERIFY(link->openPort());
        bool openWhileUsed = true;
        bool usbStatusWhileUsed = false;
        device->responder = [&](const QByteArray&) {
            openWhileUsed = link->portOpen();
            usbStatusWhileUsed = link->USBStatus;
            return kStatusReply;
        };
        route->FtSend("=v");
        QVERIFY(!openWhileUsed);
        QVERIFY(usbStatusWhileUsed);
        QVERIFY(link->portOpen());
        QVERIFY(!link->USBStatus);
    }

    void aPortThatComesBackLateIsWaitedFor()
    {
        QVERIFY(link->openPort());
        port->failOpen = true;
        QTimer::singleShot(250, port, [this] { port->failOpen = false; });
        QSignalSpy lost(link, &Link::connectionLost);
        route->Command59_Click("v");
        QVERIFY(link->portOpen());
        QCOMPARE(lost.count(), 0);
    }

    void aPortThatDoesNotComeBackIsReported()
    {
        QVERIFY(link->openPort());
        link->Connected = true;
        port->failOpen = true;
        route->reopenDeadlineMs = 200;
        QSignalSpy lost(link, &Link::connectionLost);
        route->FtSend("=v");
        QCOMPARE(lost.count(), 1);
        QVERIFY(!link->Connected);
        QVERIFY(link->terminalText().contains("The serial port did not come back after the USB use"));
    }

    void aClosedPortStaysClosed()
    {
        route->FtSend("=v");
        QVERIFY(!link->portOpen());
    }

    void aSecondUseWhileOneRunsIsRefused()
    {
        device->responder = [this](const QByteArray&) {
            // Runs while the first use waits for its reply.
            QTimer::singleShot(0, route, [this] { route->FtSend("=v"); });
            return QByteArray();
        };
        route->FtSend("=v");
        QCOMPARE(device->opens, 1);
        QVERIFY(link->terminalText().contains("The USB device is in use"));
        QVERIFY(!route->busy());
    }

    void aDeviceLeftOpenIsClosedWhenTheUseEnds()
    {
        {
            UsbRoute::SerialHandOver use(*route);
            QVERIFY(use.ok());
            QVERIFY(route->FtdiOpen());
        }
        QVERIFY(!device->isOpen());
        QCOMPARE(route->FtHandle, UsbHandle(0));
    }
};

QTEST_MAIN(TestUsbRoute)
#include "tst_usb_route.moc"
