// The main window's connection controls, clicked as an operator would,
// against the built-in simulated unit.
#include "connection_panel.h"
#include "main_window.h"
#include "port_settings_dialog.h"
#include "settings_files.h"
#include "sim_backend.h"
#include "sim_unit.h"
#include "terminal_panel.h"
#include "window_parts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace plovan;

Q_DECLARE_METATYPE(plovan::sim::Faults)

class TestMainWindow : public QObject {
    Q_OBJECT

    MainWindow* window = nullptr;
    QStringList questions;
    QTemporaryDir settings;

    sim::SimUnit& unit() { return qobject_cast<sim::SimBackend*>(window->link().backend())->unit(); }
    QPushButton* button(const char* name) { return window->findChild<QPushButton*>(name); }
    void useDevice(const QString& device)
    {
        PortSettings s = window->portSettings();
        s.device = device;
        window->setPortSettings(s);
    }

private slots:
    void initTestCase() { qputenv("PLOVAN_SETTINGS_DIR", settings.path().toLocal8Bit()); }
    void init()
    {
        window = new MainWindow;
        questions.clear();
        window->dialogs().askYesNo = [this](const QString& title, const QString& text) {
            questions << title + ": " + text;
            return false;
        };
        useDevice(QString::fromLatin1(kSimDevice));
        window->setAckTimeoutMs(2000);
        window->show();
    }
    void cleanup()
    {
        delete window;
        window = nullptr;
    }

    void controlsCarryTheirNames()
    {
        QCOMPARE(window->objectName(), QString("frmTerminal"));
        QCOMPARE(window->windowTitle(), QString("Velmar Plovan No usb found RS232 only"));
        QVERIFY(button("Command1"));
        QVERIFY(button("Command19"));
        QVERIFY(window->findChild<QCheckBox*>("Check17")->isChecked());
        QVERIFY(window->findChild<QPlainTextEdit*>("txtDataIn"));
    }

    void connectRunsTheSequenceAndShowsTheAcks()
    {
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QCOMPARE(button("Command1")->text(), QString("Disconnect"));
        QVERIFY(window->link().Connected);
        QVERIFY(partOf<QAction>(window, "mnuOpen")->isChecked());
        QCOMPARE(button("Command19")->text(), QString("Disconnect"));
        const std::vector<std::string> expected{"=r", "=p", "=D00DF", "=D08E1", "=D00E2"};
        QCOMPARE(unit().commands(), expected);
        // Every acknowledgement is echoed into the terminal box.
        QTRY_COMPARE(partOf<TerminalPanel>(window)->txtDataIn->toPlainText().count('@'), 5);

        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QCOMPARE(button("Command1")->text(), QString("Connect"));
        QVERIFY(!window->link().Connected);
        QVERIFY(!window->link().portOpen());
        QCOMPARE(window->link().PortHandle, 1); // kept after a disconnect
    }

    void demoModeConnectsWithoutReplies()
    {
        auto* check = window->findChild<QCheckBox*>("Check17");
        auto* demo = window->findChild<QLabel*>("DemoModeLabel");
        QVERIFY(!demo->isVisible());
        QTest::mouseClick(check, Qt::LeftButton);
        QVERIFY(window->link().TestMode());
        QVERIFY(demo->isVisible());

        unit().setFaults(sim::Faults{.silent = true});
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QVERIFY(window->link().Connected);
        QCOMPARE(unit().commands().size(), std::size_t{5});

        QTest::mouseClick(check, Qt::LeftButton);
        QVERIFY(!window->link().TestMode());
        QVERIFY(!demo->isVisible());
    }

    // Silent, or answering only the three unwaited lines of the five: not connected.
    void unansweredConnectLeavesTheProgramDisconnected_data()
    {
        QTest::addColumn<sim::Faults>("faults");
        QTest::addColumn<QString>("said");
        QTest::newRow("silent") << sim::Faults{.silent = true}
                                << "No reply from unit to =r, =p, =D00DF, =D08E1";
        QTest::newRow("three answers") << sim::Faults{.answerLines = 3} << "No reply from unit to =D08E1";
        QTest::newRow("four answers") << sim::Faults{.answerLines = 4} << "No reply from unit to =D00E2";
    }
    void unansweredConnectLeavesTheProgramDisconnected()
    {
        QFETCH(sim::Faults, faults);
        QFETCH(QString, said);
        unit().setFaults(faults);
        window->setAckTimeoutMs(100);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QCOMPARE(button("Command1")->text(), QString("Connect"));
        QVERIFY(!window->link().Connected);
        QVERIFY(!window->link().portOpen());
        QVERIFY(partOf<TerminalPanel>(window)->txtDataIn->toPlainText().contains(said));
    }

    void failedOpenAsksWhetherToClose()
    {
        useDevice(QStringLiteral("/dev/no-such-port"));
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QCOMPARE(questions,
                 QStringList{"Port Error: Error opening the port. Do you want to try to close it?"});
        QCOMPARE(button("Command1")->text(), QString("Connect"));
        QVERIFY(!window->link().Connected);
        // "Port Open" after the failed open still shows everything shut.
        partOf<QAction>(window, "mnuOpen")->trigger();
        QVERIFY(!partOf<QAction>(window, "mnuOpen")->isChecked());
        QCOMPARE(button("Command1")->text(), QString("Connect"));
    }

    void secondConnectReportsAFailedOpenAndSendsNothing()
    {
        useDevice(QStringLiteral("/dev/no-such-port"));
        QTest::mouseClick(button("Command19"), Qt::LeftButton);
        const QString text = partOf<TerminalPanel>(window)->txtDataIn->toPlainText();
        QVERIFY2(text.startsWith("Error opening port! Handle = 0"), qPrintable(text));
        // It stops there: nothing is written into the port that did not open.
        QVERIFY(!text.contains("not sent"));
        QCOMPARE(button("Command19")->text(), QString("Connect"));
    }

    void secondConnectTurnsTheLaserOn()
    {
        QTest::mouseClick(button("Command19"), Qt::LeftButton);
        QCOMPARE(button("Command19")->text(), QString("Disconnect"));
        QTRY_COMPARE(unit().commands().size(), std::size_t{3});
        const std::vector<std::string> expected{"=r", "=D00DF", "=E0F"};
        QCOMPARE(unit().commands(), expected);
        QVERIFY(partOf<ConnectionPanel>(window)->laserOn());
        QTest::mouseClick(button("Command19"), Qt::LeftButton);
        QCOMPARE(button("Command19")->text(), QString("Connect"));
        QVERIFY(!window->link().portOpen());
    }

    // The port's real state decides, not the handle a close leaves behind.
    void secondConnectReopensAfterADisconnectOrAFailedConnect()
    {
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QTest::mouseClick(button("Command1"), Qt::LeftButton); // disconnect: handle stays 1
        QCOMPARE(window->link().PortHandle, 1);
        std::size_t before = unit().commands().size();
        QTest::mouseClick(button("Command19"), Qt::LeftButton);
        QCOMPARE(button("Command19")->text(), QString("Disconnect"));
        QVERIFY(window->link().Connected);
        QCOMPARE(unit().commands().size(), before + 3); // =r, =D00DF, =E0F
        QVERIFY(!window->link().terminalText().contains("not sent"));
        QTest::mouseClick(button("Command19"), Qt::LeftButton);

        // A connect the unit did not answer closed the port again.
        unit().setFaults(sim::Faults{.silent = true});
        window->setAckTimeoutMs(50);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QVERIFY(!window->link().portOpen());
        unit().setFaults(sim::Faults{});
        before = unit().commands().size();
        QTest::mouseClick(button("Command19"), Qt::LeftButton);
        QVERIFY(window->link().Connected);
        QCOMPARE(unit().commands().size(), before + 2); // the lamp still shows laser/RF on
        QVERIFY(!window->link().terminalText().contains("already open"));
        QVERIFY(!window->link().terminalText().contains("not sent"));
    }

    void theFirstConnectUsesAPortTheSecondOneOpened()
    {
        QTest::mouseClick(button("Command19"), Qt::LeftButton);
        QVERIFY(window->link().portOpen());
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QVERIFY(questions.isEmpty()); // no "Port Error" for a port that is open
        QCOMPARE(button("Command1")->text(), QString("Disconnect"));
    }

    void theOpenedPortIsNamedWithAllItsSettings()
    {
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QVERIFY(window->link().terminalText().contains("Port open: simulated unit"));
        PortSettings s;
        s.device = "/dev/pts/0";
        QCOMPARE(portDescription(s), QString("/dev/pts/0, 9600 baud, 8 databits, odd parity"));
        s = withDevice(s, "/dev/ttyS1");
        s.parity = ParityNone;
        QCOMPARE(portDescription(s), QString("/dev/ttyS1, 9600 baud, 8 databits, no parity"));
    }

    // A signal ends the program: a dialog that is up is cancelled, and a
    // settings file that cannot be written is reported without a box.
    void terminationWaitsForNoClick()
    {
        QTemporaryDir unwritable;
        QFile blocker(unwritable.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("PLOVAN_SETTINGS_DIR", blocker.fileName().toLocal8Bit()); // a file, not a folder
        delete window;
        window = new MainWindow;
        QStringList boxes;
        window->dialogs().warn = [&](const QString&, const QString& text) { boxes << text; };
        window->show();

        QMessageBox question(QMessageBox::Question, "Port Error", "Close it?",
                             QMessageBox::Yes | QMessageBox::No, window);
        bool answered = false;
        QTimer::singleShot(0, window, [&] { window->terminate(); });
        const int answer = question.exec();
        answered = true;
        qputenv("PLOVAN_SETTINGS_DIR", settings.path().toLocal8Bit());
        QVERIFY(answered);
        QVERIFY(answer != QMessageBox::Yes);
        QVERIFY(boxes.isEmpty());
        QVERIFY(window->link().terminalText().contains("The settings could not be saved"));
        QVERIFY(!window->isVisible());
    }

    void hangUpIsReportedOnceAndDisconnects()
    {
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QVERIFY(window->link().Connected);
        unit().setFaults(sim::Faults{.hangUpAfter = 1});
        window->link().RecATFlag = false;
        QVERIFY(window->link().send("=I"));
        QTRY_VERIFY(!window->link().portOpen());
        QTRY_VERIFY(!window->link().Connected);
        QCOMPARE(button("Command1")->text(), QString("Connect"));
        QCOMPARE(window->link().terminalText().count("Connection lost"), 1);
        // Nothing is known of the laser/RF state any more.
        QVERIFY(!partOf<ConnectionPanel>(window)->laserOn());
        QVERIFY(partOf<ConnectionPanel>(window)->laserLamp->toolTip().contains("unknown"));
    }

    void propertiesDialogMapsWhatIsChosen()
    {
        PortSettings start;
        start.portNumber = 2;
        start.baud = 9600;
        PortSettingsDialog dialog(start);
        // A typed serial-port path becomes the port number the settings file keeps.
        dialog.device->setEditText("/dev/ttyS0");
        dialog.baud->setEditText("115200");
        dialog.parity->setCurrentIndex(0);
        PortSettings s = dialog.settings();
        QCOMPARE(s.portNumber, 1);
        QVERIFY(s.device.isEmpty());
        QCOMPARE(s.baud, 115200);
        QCOMPARE(s.parity, int(ParityNone));
        // Any other path is kept as it is.
        dialog.device->setEditText("/dev/ttyUSB3");
        QCOMPARE(dialog.settings().device, QString("/dev/ttyUSB3"));
        QCOMPARE(devicePath(dialog.settings()), QString("/dev/ttyUSB3"));
        // The built-in simulated unit is one of the choices.
        const int sim = dialog.device->findData(QString::fromLatin1(kSimDevice));
        QVERIFY(sim >= 0);
        dialog.device->setCurrentIndex(sim);
        QCOMPARE(dialog.settings().device, QString::fromLatin1(kSimDevice));
        // A baud rate that is not a number leaves the old one.
        dialog.baud->setEditText("fast");
        QCOMPARE(dialog.settings().baud, 9600);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
