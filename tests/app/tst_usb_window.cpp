// The main window's USB controls, clicked as an operator would: without a
// device, and against the built-in simulated unit's USB face.
#include "main_window.h"
#include "sim_backend.h"
#include "sim_usb_face.h"
#include "test_panel.h"
#include "transfer_panel.h"
#include "usb_mode_window.h"
#include "window_parts.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace plovan;

class TestUsbWindow : public QObject {
    Q_OBJECT

    QTemporaryDir settings;

    static QPushButton* bench(MainWindow& w, const char* name)
    {
        return partOf<TestPanel>(&w)->findChild<QPushButton*>(name);
    }
    // The terminal's lines from `from` on.
    static QStringList linesAfter(MainWindow& w, const QString& from)
    {
        const QString text = w.link().terminalText();
        return text.mid(text.indexOf(from)).split("\r\n", Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase() { qputenv("PLOVAN_SETTINGS_DIR", settings.path().toLocal8Bit()); }

    void withoutADeviceTheProgramIsRs232Only()
    {
        MainWindow w(nullptr,
                     LaunchOptions{QString::fromLatin1(kSimDevice), UsbChoice{UsbDeviceKind::None, {}}});
        w.show();
        QCOMPARE(w.windowTitle(), QString("Velmar Plovan No usb found RS232 only"));
        QCOMPARE(w.findChild<QLabel*>("Label3")->text(), QString("3.09"));
        QVERIFY(!w.usbRoute().FtdiMode);

        QTest::mouseClick(bench(w, "Command55"), Qt::LeftButton);
        QCOMPARE(linesAfter(w, "FT_GetNumDevices failed"),
                 QStringList({"FT_GetNumDevices failed", "(USB is switched off (--usb-device none))",
                              "ListDevices failed", "ListDevices failed", "Open Failed", "Write Failed",
                              "(the USB device is not open)", "FT_GetQstatus failed",
                              "FT_Read error ftStatus=1", "Close Failed", "Test Failed"}));
        QVERIFY(bench(w, "Command55")->isEnabled());
    }

    void ftdiTestShowsTheSimulatedDevice()
    {
        MainWindow w(nullptr,
                     LaunchOptions{QString::fromLatin1(kSimDevice), UsbChoice{UsbDeviceKind::Sim, {}}});
        w.show();
        QCOMPARE(w.windowTitle(), QString("Velmar Plovan"));
        QCOMPARE(w.findChild<QLabel*>("Label3")->text(), QString("3.09 usb"));
        QVERIFY(w.usbRoute().FtdiMode);
        QVERIFY(w.link().terminalText().contains("Device Description Velmar Plovan USB\r\n"));

        QTest::mouseClick(bench(w, "Command55"), Qt::LeftButton);
        const QStringList lines = linesAfter(w, "NumDevices");
        QCOMPARE(lines.mid(0, 3), QStringList({"NumDevices 1", "Device Description Velmar Plovan USB",
                                               "Serial Number PLV-SIM-0001"}));
        QVERIFY(lines.value(3).startsWith("Q length = "));
        QCOMPARE(lines.mid(4), QStringList({"@" + QString::fromLatin1(sim::SimUnit::kStatusText.data(),
                                                                      sim::SimUnit::kStatusText.size())}));
    }

    void viaDllReachesTheSameUnitAsTheSerialPort()
    {
        MainWindow w(nullptr,
                     LaunchOptions{QString::fromLatin1(kSimDevice), UsbChoice{UsbDeviceKind::Sim, {}}});
        w.show();
        QTest::mouseClick(w.findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QVERIFY(w.link().Connected);

        partOf<TestPanel>(&w)->findChild<QLineEdit*>("Text35")->setText("D5AE4");
        QTest::mouseClick(bench(w, "Command59"), Qt::LeftButton);
        QVERIFY(w.link().terminalText().contains("D5AE4 sent ok!!\r\n"));
        auto* backend = qobject_cast<sim::SimBackend*>(w.link().backend());
        QCOMPARE(backend->unit().registerValue(0xE4), std::uint8_t(0x5A));
        // The serial port is back and usable.
        QVERIFY(w.link().Connected);
        QVERIFY(w.link().portOpen());
        QVERIFY(w.findChild<QPushButton*>("Command28")->isEnabled());
    }

    void usbModeWindowSetsTheRoute()
    {
        MainWindow w(nullptr,
                     LaunchOptions{QString::fromLatin1(kSimDevice), UsbChoice{UsbDeviceKind::Sim, {}}});
        w.show();
        QAction* menu = w.findChild<QAction*>("FTDIUSB");
        QVERIFY(menu->isEnabled());
        menu->trigger();
        QVERIFY(!w.isEnabled());
        UsbModeWindow* mode = partOf<UsbModeWindow>(&w);
        QVERIFY(mode->isVisible());
        QCOMPARE(mode->windowTitle(), QString("SET USB Mode"));
        QVERIFY(mode->Check1->isChecked());
        // The tick is explained in an operator's words, as it stands.
        QVERIFY2(
            mode->explanation->text().startsWith("Ticked: image, raw and multichirp files go to the unit "
                                                 "over its USB connection"),
            qPrintable(mode->explanation->text()));
        QVERIFY(mode->explanation->text().contains("USB device: Velmar Plovan USB"));
        QVERIFY(partOf<TransferPanel>(&w)->routeLabel->text().startsWith("Next load: USB"));
        mode->Check1->setChecked(false);
        QVERIFY(mode->explanation->text().startsWith(
            "Unticked: every file goes to the unit over the serial port"));
        QTest::mouseClick(mode->Command1, Qt::LeftButton);
        QVERIFY(!w.usbRoute().FtdiMode);
        QVERIFY(w.isEnabled());
        QVERIFY(!mode->isVisible());
        // The window shows the route the next load takes.
        QCOMPARE(partOf<TransferPanel>(&w)->routeLabel->text(), QString("Next load: serial port"));

        // Closed without "OK", the choice stays.
        menu->trigger();
        QVERIFY(!mode->Check1->isChecked());
        mode->Check1->setChecked(true);
        mode->reject();
        QVERIFY(!w.usbRoute().FtdiMode);
        QVERIFY(w.isEnabled());
    }
};

QTEST_MAIN(TestUsbWindow)
#include "tst_usb_window.moc"
