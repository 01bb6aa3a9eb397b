// The libftdi1 device layer on a machine without a chip (as in CI): listing
// either finds nothing or says why USB cannot be used, every step that needs a
// device fails with a reason, and calls on a device that is not open are
// refused at once.
#include "libftdi_device.h"

#include <QTest>

using namespace plovan;

Q_DECLARE_METATYPE(plovan::FtLineSettings)

class TestLibFtdiDevice : public QObject {
    Q_OBJECT

private slots:
    void listingWithoutDevice();
    void indexesOutsideTheList_data();
    void indexesOutsideTheList();
    void openWithoutDeviceFails();
    void badLineSettingsAreRefused_data();
    void badLineSettingsAreRefused();
    void callsWithoutOpenDevice_data();
    void callsWithoutOpenDevice();
};

void TestLibFtdiDevice::listingWithoutDevice()
{
    LibFtdiDevice device;
    QCOMPARE(device.name(), QStringLiteral("libftdi1"));

    int count = -1;
    const FtStatus status = device.countDevices(count);
    qInfo("countDevices: status %d, count %d, lastError \"%s\"", statusCode(status), count,
          qPrintable(device.lastError()));
    QCOMPARE(count, 0);
    if (status == FtStatus::Ok)
        QVERIFY(device.lastError().isEmpty());
    else
        QVERIFY(!device.lastError().isEmpty());

    QString text = QStringLiteral("stale");
    QVERIFY(device.description(0, text) != FtStatus::Ok);
    QVERIFY(!device.lastError().isEmpty());
    QVERIFY(text.isEmpty());

    text = QStringLiteral("stale");
    QVERIFY(device.serialNumber(0, text) != FtStatus::Ok);
    QVERIFY(!device.lastError().isEmpty());
    QVERIFY(text.isEmpty());

    // A failure is not left standing by a later call that succeeds.
    if (status == FtStatus::Ok) {
        QCOMPARE(device.countDevices(count), FtStatus::Ok);
        QVERIFY(device.lastError().isEmpty());
    }
}

void TestLibFtdiDevice::indexesOutsideTheList_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("negative") << -1;
    QTest::newRow("first") << 0;
    QTest::newRow("far") << 1000;
}

void TestLibFtdiDevice::indexesOutsideTheList()
{
    QFETCH(int, index);
    LibFtdiDevice device;
    int count = 0;
    if (device.countDevices(count) != FtStatus::Ok)
        QSKIP("USB cannot be used here; listingWithoutDevice covers it");
    QCOMPARE(count, 0);

    QString text;
    QCOMPARE(device.description(index, text), FtStatus::DeviceNotFound);
    QCOMPARE(device.lastError(), QStringLiteral("no USB device %1").arg(index));
    QCOMPARE(device.serialNumber(index, text), FtStatus::DeviceNotFound);
    QCOMPARE(device.lastError(), QStringLiteral("no USB device %1").arg(index));
}

void TestLibFtdiDevice::openWithoutDeviceFails()
{
    LibFtdiDevice device;
    UsbHandle handle = 77;
    const FtStatus status = device.openByDescription(QStringLiteral("anything"), handle);
    QVERIFY(status != FtStatus::Ok);
    QVERIFY(!device.lastError().isEmpty());
    QCOMPARE(handle, UsbHandle(0));
    QVERIFY(!device.isOpen());
    QCOMPARE(device.openHandle(), UsbHandle(0));

    // The handle a successful open would have given is no handle now.
    qint64 written = -1;
    QCOMPARE(device.write(1, QByteArray("=v\r"), written), FtStatus::InvalidHandle);
    QCOMPARE(written, qint64(0));

    // Failing again gives the same answer: nothing was left half-open.
    QCOMPARE(device.openByDescription(QStringLiteral("anything"), handle), status);
    QCOMPARE(handle, UsbHandle(0));
}

void TestLibFtdiDevice::badLineSettingsAreRefused_data()
{
    QTest::addColumn<FtLineSettings>("settings");
    const FtLineSettings good;
    FtLineSettings s = good;
    s.baud = 0;
    QTest::newRow("baud 0") << s;
    s = good;
    s.dataBits = 9;
    QTest::newRow("9 data bits") << s;
    s = good;
    s.stopBits = 0;
    QTest::newRow("0 stop bits") << s;
    s = good;
    s.parity = 5;
    QTest::newRow("parity code 5") << s;
    s = good;
    s.latencyMs = 0;
    QTest::newRow("latency 0 ms") << s;
    s = good;
    s.latencyMs = 256;
    QTest::newRow("latency 256 ms") << s;
}

// Settings the chip cannot take are refused before any device is looked for,
// so the answer does not depend on what is plugged in.
void TestLibFtdiDevice::badLineSettingsAreRefused()
{
    QFETCH(FtLineSettings, settings);
    LibFtdiDevice device;
    device.setLineSettings(settings);
    UsbHandle handle = 0;
    QCOMPARE(device.openByDescription(QStringLiteral("anything"), handle), FtStatus::InvalidParameter);
    QVERIFY(device.lastError().startsWith(QStringLiteral("cannot start the USB line: ")));
    QCOMPARE(handle, UsbHandle(0));
    QVERIFY(!device.isOpen());
}

void TestLibFtdiDevice::callsWithoutOpenDevice_data()
{
    QTest::addColumn<UsbHandle>("handle");
    QTest::newRow("0") << UsbHandle(0);
    QTest::newRow("1") << UsbHandle(1);
    QTest::newRow("made up") << UsbHandle(0xdeadbeef);
}

void TestLibFtdiDevice::callsWithoutOpenDevice()
{
    QFETCH(UsbHandle, handle);
    LibFtdiDevice device;
    // A read that waited at all would hand time to idle; with a long time-out
    // a wait would also show as a hang.
    int idleCalls = 0;
    device.setIdle([&idleCalls](int) {
        ++idleCalls;
        return true;
    });
    device.setReadTimeoutMs(600000);

    qint64 written = -1;
    QCOMPARE(device.write(handle, QByteArray("=v\r"), written), FtStatus::InvalidHandle);
    QCOMPARE(written, qint64(0));
    QVERIFY(!device.lastError().isEmpty());

    qint64 waiting = -1;
    QCOMPARE(device.queueStatus(handle, waiting), FtStatus::InvalidHandle);
    QCOMPARE(waiting, qint64(0));

    QByteArray out("stale");
    QCOMPARE(device.read(handle, 10, out), FtStatus::InvalidHandle);
    QVERIFY(out.isEmpty());
    QCOMPARE(idleCalls, 0);

    QCOMPARE(device.close(handle), FtStatus::InvalidHandle);
    QVERIFY(!device.lastError().isEmpty());
    QVERIFY(!device.isOpen());
}

QTEST_GUILESS_MAIN(TestLibFtdiDevice)
#include "tst_libftdi_device.moc"
