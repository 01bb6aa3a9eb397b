// The table sends and header writers from the window against the built-in
// simulated unit: the chosen file arrives whole, a file with findings is
// only sent after "Send anyway?", the progress panel comes and goes, Cancel
// leaves the unit cleared, a batch writes its header blocks and then its
// numbered files, and the header words reach the unit.
#include "connection_panel.h"
#include "direct_commands.h"
#include "extra_header_window.h"
#include "header_panel.h"
#include "header_window.h"
#include "main_window.h"
#include "sim_backend.h"
#include "single_tone_panel.h"
#include "terminal_panel.h"
#include "test_panel.h"
#include "transfer_panel.h"
#include "unit_status_label.h"
#include "window_parts.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>

using namespace plovan;

class TestSendWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    MainWindow* window = nullptr;
    QStringList asked;
    QString chosen;

    sim::SimUnit& unit() { return qobject_cast<sim::SimBackend*>(window->link().backend())->unit(); }
    QString writeFile(const QString& name, const QByteArray& text)
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly)) return {};
        f.write(text);
        return f.fileName();
    }

    // An image file of `n` records; the records as the unit should take them.
    QStringList writeImage(const QString& name, int n, int seed)
    {
        QByteArray text = QStringLiteral("%1\r\n").arg(n, 5, 16, QLatin1Char('0')).toLatin1();
        QStringList records;
        for (int i = 0; i < n; ++i) {
            records << QStringLiteral("%1").arg(seed * 65536 + i, 9, 16, QLatin1Char('0')).toUpper();
            text += records.last().toLatin1() + "\r\n";
        }
        writeFile(name, text);
        return records;
    }
    QStringList loaded() const
    {
        QStringList lines;
        if (const auto& load = const_cast<TestSendWindow*>(this)->unit().lastLoad(sim::LoadKind::Image))
            for (const std::string& line : load->lines)
                lines << QString::fromStdString(line);
        return lines;
    }
    qsizetype commandCount(const std::string& command)
    {
        return std::count(unit().commands().begin(), unit().commands().end(), command);
    }
    // An image load of `n` records against a unit slow enough to act mid-load,
    // under way once three records are in; `records`: what the unit should take.
    void startSlowLoad(const QString& name, int n, QStringList* records = nullptr)
    {
        sim::Faults slow;
        slow.replyDelayMs = 5;
        unit().setFaults(slow);
        chosen = dir.filePath(name);
        const QStringList written = writeImage(name, n, 7);
        if (records) *records = written;
        partOf<QAction>(window, "MnuMorv")->trigger();
        QTRY_VERIFY(loaded().size() >= 3);
    }
    void freshBatchFolder()
    {
        QDir(dir.filePath("Multifile")).removeRecursively();
        QVERIFY(QDir(dir.path()).mkpath("Multifile"));
    }
    void useUsbWindow()
    {
        delete window;
        window = new MainWindow(
            nullptr, LaunchOptions{QString::fromLatin1(kSimDevice), UsbChoice{UsbDeviceKind::Sim, {}}});
        window->dialogs().chooseFileToOpen = [this](const QString&, const QString&) {
            return std::exchange(chosen, {});
        };
        window->show();
        QTest::mouseClick(partOf<ConnectionPanel>(window)->connectButton, Qt::LeftButton);
        QVERIFY(window->link().Connected);
    }

private slots:
    void initTestCase() { qputenv("PLOVAN_SETTINGS_DIR", dir.path().toLocal8Bit()); }
    void init()
    {
        window = new MainWindow(nullptr, LaunchOptions{QString::fromLatin1(kSimDevice), {}});
        asked.clear();
        window->dialogs().chooseFileToOpen = [this](const QString&, const QString&) {
            return std::exchange(chosen, {});
        };
        window->dialogs().askYesNo = [this](const QString&, const QString& text) {
            asked << text;
            return false;
        };
        window->dialogs().warn = [this](const QString&, const QString& text) { asked << text; };
        window->show();
        QTest::mouseClick(partOf<ConnectionPanel>(window)->connectButton, Qt::LeftButton);
        QVERIFY(window->link().Connected);
    }
    void cleanup() { delete window; }

    void anImageFileArrivesWhole()
    {
        QByteArray text = "00040\r\n";
        std::vector<std::string> records;
        for (int i = 0; i < 64; ++i) {
            records.push_back(
                QStringLiteral("%1").arg(i * 4097, 9, 16, QLatin1Char('0')).toUpper().toStdString());
            text += QByteArray::fromStdString(records.back()) + "\r\n";
        }
        chosen = writeFile("table.plv", text);
        QAction* send = partOf<QAction>(window, "MnuMorv");
        QVERIFY(send->isEnabled());
        QCOMPARE(partOf<TransferPanel>(window)->routeLabel->text(), QString("Next load: serial port"));
        send->trigger();
        QVERIFY(partOf<TransferPanel>(window)->ProgressBar1->isVisible());
        QCOMPARE(partOf<TransferPanel>(window)->routeLabel->text(), QString("Sending over: serial"));
        QVERIFY(!send->isEnabled());
        QVERIFY(!partOf<ConnectionPanel>(window)->connectButton->isEnabled()); // held while it sends
        QPushButton* laser = partOf<DirectCommandPanel>(window)->laserButton;
        QVERIFY(!laser->isEnabled()); // a command would land in the load
        QCOMPARE(partOf<ConnectionPanel>(window)->connect2Button->text(), QString("Disconnect"));
        QVERIFY(!partOf<ConnectionPanel>(window)->connect2Button->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!partOf<TransferPanel>(window)->running(), 10000);
        QVERIFY(window->link().terminalText().endsWith("Sent OK!\r\n"));
        QVERIFY(!partOf<TransferPanel>(window)->ProgressBar1->isVisible());
        // The result stays where the terminal's clearing cannot reach it.
        QVERIFY(partOf<TransferPanel>(window)->resultLabel->isVisible());
        const QString result = partOf<TransferPanel>(window)->resultLabel->text();
        QVERIFY2(result.startsWith("image table.plv, serial, 64 of 64 records, ") &&
                     result.endsWith(": Sent OK!"),
                 qPrintable(result));
        window->link().clearTerminal();
        QCOMPARE(partOf<TransferPanel>(window)->resultLabel->text(), result);
        QVERIFY(send->isEnabled());
        QVERIFY(partOf<ConnectionPanel>(window)->connectButton->isEnabled());
        QVERIFY(laser->isEnabled());
        QVERIFY(partOf<ConnectionPanel>(window)->connect2Button->isEnabled());
        const auto& load = unit().lastLoad(sim::LoadKind::Image);
        QVERIFY(load);
        QCOMPARE(load->lines, records);
        QVERIFY(asked.isEmpty());
        // The unit panel's last load.
        const auto& told = window->session().model().lastLoad;
        QVERIFY(told);
        QCOMPARE(told->file, std::string("table.plv"));
        QCOMPARE(told->route, std::string("serial"));
        QCOMPARE(told->sent, std::size_t(64));
        QCOMPARE(told->verdict, std::string("Sent OK!"));
        QCOMPARE(told->outcome, TransferOutcome::SentOk);
    }

    void inUsbModeTheTableGoesOverUsb()
    {
        useUsbWindow();
        QVERIFY(window->usbRoute().FtdiMode);
        // The window says where the next load goes.
        QVERIFY2(partOf<TransferPanel>(window)->routeLabel->text().startsWith("Next load: USB"),
                 qPrintable(partOf<TransferPanel>(window)->routeLabel->text()));
        chosen = writeFile("usb.plv", "00003\r\n012345678\r\n0ABCDEF01\r\n00000000F\r\n");
        partOf<QAction>(window, "MnuMorv")->trigger();
        QVERIFY(window->link().USBStatus); // the serial port is shut meanwhile
        QTRY_VERIFY_WITH_TIMEOUT(!partOf<TransferPanel>(window)->running(), 10000);
        const auto& load = unit().lastLoad(sim::LoadKind::Image);
        QVERIFY(load);
        QCOMPARE(load->lines, (std::vector<std::string>{"012345678", "0ABCDEF01", "00000000F"}));
        // The unit's replies are read over USB: the verdict is the serial route's.
        QVERIFY(window->link().terminalText().endsWith("Sent OK!\r\n"));
        QVERIFY2(partOf<TransferPanel>(window)->resultLabel->text().contains(", USB, 3 of 3 records, "),
                 qPrintable(partOf<TransferPanel>(window)->resultLabel->text()));
        QCOMPARE(window->session().model().lastLoad->route, std::string("USB"));
        QVERIFY(window->link().portOpen());
        QVERIFY(window->link().Connected);
        QVERIFY(!window->link().USBStatus);
    }

    void aFileWithFindingsIsSentOnlyWhenTheOperatorSaysSo()
    {
        chosen = writeFile("short.plv", "00003\r\n012345678\r\n");
        partOf<QAction>(window, "MnuMorv")->trigger();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains("the header announces 3 records, the file ends after 1"));
        QVERIFY(asked[0].endsWith("Send anyway?"));
        QCOMPARE(window->statusBar()->currentMessage(), QString("short.plv not sent"));
        QVERIFY(!partOf<TransferPanel>(window)->running());
        QVERIFY(!unit().lastLoad(sim::LoadKind::Image));
    }

    void extraHeaderWritesItsWordsAndRefusesAShortOne()
    {
        window->findChild<QAction*>("memEdit")->trigger();
        QVERIFY(!window->isEnabled());
        ExtraHeaderWindow* form = partOf<ExtraHeaderWindow>(window);
        QVERIFY(form->isVisible());
        QVERIFY(form->Command1_Click());
        QCOMPARE(unit().header(0x0F), std::optional<std::uint16_t>(0x4184));
        QCOMPARE(unit().header(0x21), std::optional<std::uint16_t>(0x2F40));
        QCOMPARE(unit().header(0x46), std::optional<std::uint16_t>(0x0000));
        QCOMPARE(unit().commands().back(), std::string("=H0000460000"));

        const std::size_t sent = unit().commands().size();
        form->Text[2]->setText("12");
        QVERIFY(!form->Command1_Click());
        QCOMPARE(unit().commands().size(), sent);
        QVERIFY(window->link().terminalText().contains("Text3 \"12\" is not four hex digits"));
        form->Text[2]->setText("0012");
        QVERIFY(form->Command1_Click());
        QCOMPARE(window->statusBar()->currentMessage(), QString("Extra Header: 56 words written"));

        QTest::mouseClick(form->Command2, Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QVERIFY(window->isEnabled());
    }

    void aMissingFileIsSaidAndTheDialogComesBack()
    {
        int shown = 0;
        window->dialogs().chooseFileToOpen = [&](const QString&, const QString&) {
            return ++shown == 1 ? dir.filePath("none.plv") : QString();
        };
        partOf<QAction>(window, "MnuMorv")->trigger();
        QCOMPARE(shown, 2);
        QCOMPARE(asked, QStringList{dir.filePath("none.plv") + " not found!"});
    }

    void cancelEndsTheSendAndClearsTheUnit()
    {
        startSlowLoad("long.plv", 400);
        QTest::mouseClick(partOf<TransferPanel>(window)->cancelButton, Qt::LeftButton);
        // At once, and said while the abort sequence runs.
        QCOMPARE(partOf<TransferPanel>(window)->Label4->text(), QString::fromUtf8(TransferPanel::kClearingText));
        const std::size_t atCancel = loaded().size();
        QTRY_VERIFY_WITH_TIMEOUT(!partOf<TransferPanel>(window)->running(), 15000);
        QCOMPARE(loaded().size(), atCancel);
        QVERIFY(window->link().terminalText().contains("File send cancelled at record "));
        QVERIFY2(partOf<TransferPanel>(window)->resultLabel->text().endsWith("; unit cleared"),
                 qPrintable(partOf<TransferPanel>(window)->resultLabel->text()));
        QVERIFY(loaded().size() < 400);
        const auto& commands = unit().commands();
        QCOMPARE(std::vector<std::string>(commands.end() - 3, commands.end()),
                 (std::vector<std::string>{"=C", "=C", "=C"}));
        QVERIFY(!partOf<TransferPanel>(window)->ProgressBar1->isVisible());
        QVERIFY(partOf<QAction>(window, "MnuMorv")->isEnabled());
        QVERIFY(partOf<ConnectionPanel>(window)->connectButton->isEnabled());
    }

    void headerPanelTakesTheToneFramesPlaceAndWritesBothBlocks()
    {
        SingleTonePanel* tone = partOf<SingleTonePanel>(window);
        HeaderPanel* panel = partOf<HeaderPanel>(window);
        QVERIFY(!panel->isVisible());
        partOf<QAction>(window, "MnuHeader")->trigger();
        QVERIFY(panel->isVisible());
        for (QWidget* w : std::initializer_list<QWidget*>{tone->frequencyFrame, tone->phaseFrame,
                                                          tone->amplitudeFrame, tone->invSync})
            QVERIFY(!w->isVisible());

        panel->Text[1]->setText("00de"); // word 2
        const std::size_t mark = unit().commands().size();
        QTest::mouseClick(panel->Command8, Qt::LeftButton);
        QCOMPARE(unit().commands().size() - mark, 29u);
        QCOMPARE(unit().commands()[mark], std::string("=C"));
        QCOMPARE(unit().header(0x000002), std::optional<std::uint16_t>(0x00DE));
        QCOMPARE(unit().header(0x100001), std::optional<std::uint16_t>(0x00DE));
        QCOMPARE(unit().header(0x00000C), std::optional<std::uint16_t>(0x0AE1));
        QCOMPARE(unit().commands().back(), std::string("=H10000D0000"));
        QVERIFY(panel->Command8->isEnabled());

        panel->Text[13]->setText("1"); // word 14, Text19
        QVERIFY(!panel->Command8_Click());
        QCOMPARE(unit().commands().size() - mark, 29u);
        QVERIFY(window->link().terminalText().contains("Text19 \"1\" is not four hex digits"));
        // The refusal does not outlive the next write that goes through.
        panel->Text[13]->setText("0001");
        QVERIFY(panel->Command8_Click());
        QCOMPARE(window->statusBar()->currentMessage(), QString("Send Header: 28 words written"));

        QTest::mouseClick(panel->Command20, Qt::LeftButton);
        QVERIFY(!panel->isVisible());
        for (QWidget* w : std::initializer_list<QWidget*>{tone->frequencyFrame, tone->phaseFrame,
                                                          tone->amplitudeFrame, tone->invSync})
            QVERIFY(w->isVisible());
    }

    void batchWritesTheHeaderBlocksThenTheNumberedFiles()
    {
        freshBatchFolder();
        writeImage("Multifile/1.plv", 3, 1);
        writeImage("Multifile/2.PLV", 2, 2); // the name's case does not matter
        const QStringList third = writeImage("Multifile/3.plv", 4, 3);
        const std::size_t mark = unit().commands().size();
        QAction* batch = partOf<QAction>(window, "MnuSendBatch");
        QVERIFY(batch->isEnabled());
        batch->trigger();
        QVERIFY(window->batchRunning());
        QVERIFY(partOf<HeaderWindow>(window)->isVisible());
        QVERIFY(!batch->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!window->batchRunning(), 20000);
        QVERIFY(!partOf<HeaderWindow>(window)->isVisible());
        QVERIFY(window->isEnabled());
        // Blocks 0 to 32 of the window's words, then the three files.
        QCOMPARE(unit().commands()[mark], std::string("=C"));
        QCOMPARE(unit().commands()[mark + 1], std::string("=H0000010000"));
        QCOMPARE(unit().header(0x000002), std::optional<std::uint16_t>(0x00E3));
        QCOMPARE(unit().header(0x20000C), std::optional<std::uint16_t>(0x08E1));
        QCOMPARE(unit().commands()[mark + 1 + 33 * 14], std::string("=L"));
        QCOMPARE(commandCount("=L"), 3);
        QCOMPARE(loaded(), third);
        const QString text = window->link().terminalText();
        QCOMPARE(text.count("Sent OK!"), 3);
        QVERIFY(text.contains("2.PLV"));
        QVERIFY(text.contains("Batch sent: 3 files"));
        QVERIFY(batch->isEnabled());
        QVERIFY(partOf<QAction>(window, "MnuMorv")->isEnabled());
    }

    void aBatchWithAGapOrABadFileIsRefusedBeforeAnyHeaderBlock_data()
    {
        QTest::addColumn<QStringList>("files"); // name, then its first record
        QTest::addColumn<bool>("anyway");       // "Send anyway?" is asked
        QTest::addColumn<QString>("finding");
        QTest::newRow("a gap") << QStringList{"1.plv", "3.plv", "notes.plv"} << false
                               << "2.plv is missing (the batch sends 1.plv to 3.plv)";
        QTest::newRow("no numbered file") << QStringList{"x.plv"} << false << "1.plv is missing";
        QTest::newRow("a bad record") << QStringList{"1.plv", "2.plv:ZZZZZZZZZ"} << true << "2.plv: line 2";
    }
    void aBatchWithAGapOrABadFileIsRefusedBeforeAnyHeaderBlock()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, anyway);
        QFETCH(QString, finding);
        freshBatchFolder();
        for (const QString& file : files) {
            const QStringList parts = file.split(':');
            writeFile("Multifile/" + parts[0], "00001\r\n" + parts.value(1, "012345678").toLatin1() + "\r\n");
        }
        const std::size_t mark = unit().commands().size();
        partOf<QAction>(window, "MnuSendBatch")->trigger();
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].contains(finding), qPrintable(asked[0]));
        QCOMPARE(asked[0].endsWith("Send anyway?"), anyway); // answered No here
        QVERIFY(!window->batchRunning());
        QCOMPARE(unit().commands().size(), mark);
        QVERIFY(partOf<QAction>(window, "MnuSendBatch")->isEnabled());
    }

    void aLoadHoldsEveryOtherWriter()
    {
        const std::size_t mark = unit().commands().size();
        QStringList records;
        startSlowLoad("held.plv", 60, &records);
        SingleTonePanel* tone = partOf<SingleTonePanel>(window);
        const std::initializer_list<std::pair<const char*, QWidget*>> writers = {
            {"=v", partOf<TestPanel>(window)->statusButton},
            {"All", tone->allChannels},
            {"Distal 1", tone->oneChannelGroup->button(1)},
            {"Inverse sync on", tone->inverseOn},
            {"Inverse Sinc", tone->inverseSinc},
            {"frequency slider", tone->frequencySlider},
            {"Send", tone->sendButton},
            {"Toggle Laser/RF", partOf<DirectCommandPanel>(window)->laserButton}};
        for (const auto& [name, widget] : writers) {
            QVERIFY2(!widget->isEnabled(), name);
            QTest::mouseClick(widget, Qt::LeftButton);
        }
        QVERIFY(partOf<TerminalPanel>(window)->txtDataIn->isReadOnly());
        QTest::keyClicks(partOf<TerminalPanel>(window)->txtDataIn, "a=U\r");
        QVERIFY(!window->link().send("=I")); // and nobody writes past the arbiter
        QVERIFY(window->statusBar()->currentMessage().contains("Busy: image load running - cancel it first"));
        QTRY_VERIFY_WITH_TIMEOUT(!partOf<TransferPanel>(window)->running(), 15000);
        QCOMPARE(loaded(), records);
        const auto& commands = unit().commands();
        // Nothing but the load's own "=L" reached the unit.
        QCOMPARE(std::vector<std::string>(commands.begin() + std::ptrdiff_t(mark), commands.end()),
                 std::vector<std::string>{"=L"});
        QVERIFY(!partOf<TerminalPanel>(window)->txtDataIn->isReadOnly());
        QVERIFY(tone->allChannels->isEnabled());
    }

    void theWindowShowsWhatAnotherWriterMadeTheUnitPlay()
    {
        // As the calibration editor plays a row: the upper half of the word, then "=U".
        for (const char* line : {"=D5144", "=DEB45", "=D8546", "=D1E47", "=U", "=D5D44", "=D2545", "=D0163",
                                 "=D7064", "=D0180", "=DF681", "=U"})
            QVERIFY(window->link().sendWait(line));
        QCOMPARE(partOf<SingleTonePanel>(window)->frequencyBox->text(), QString("113"));
        QCOMPARE(partOf<SingleTonePanel>(window)->frequencySlider->value(), 113);
        QCOMPARE(partOf<SingleTonePanel>(window)->phaseBox->text(), QString("11"));
        QCOMPARE(partOf<SingleTonePanel>(window)->amplitudeBox->text(), QString("92"));
        QCOMPARE(partOf<SingleTonePanel>(window)->amplitudeSlider->value(), 92);
        QCOMPARE(partOf<UnitStatusLabel>(window)->text(), QString("Unit: 113.704 MHz, 11.0\u00B0, amplitude 92"));
        QCOMPARE(window->session().model().channels[3].frequencyWord,
                 std::optional<std::uint32_t>(0x5D25851E));
    }

    void exitDuringALoadAsksFirst_data()
    {
        QTest::addColumn<int>("ending"); // 0: Exit answered No, 1: Exit answered Yes, 2: SIGTERM
        QTest::newRow("No keeps the load") << 0;
        QTest::newRow("Yes clears the unit, then quits") << 1;
        QTest::newRow("a signal clears the unit unasked") << 2;
    }
    void exitDuringALoadAsksFirst()
    {
        QFETCH(int, ending);
        startSlowLoad("exit.plv", 300);
        window->dialogs().askYesNo = [&](const QString&, const QString& text) {
            asked << text;
            return ending == 1;
        };
        if (ending == 2) {
            window->terminate();
            QVERIFY(asked.isEmpty());
        }
        else {
            partOf<QAction>(window, "mnuFileExit")->trigger();
            QCOMPARE(asked, QStringList{"A load is running. Cancel it, clear the unit and quit?"});
        }
        if (ending == 0) {
            QVERIFY(window->isVisible());
            QVERIFY(partOf<TransferPanel>(window)->running());
            QTRY_VERIFY_WITH_TIMEOUT(!partOf<TransferPanel>(window)->running(), 20000);
            QCOMPARE(loaded().size(), 300);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 15000);
        QVERIFY(loaded().size() < 300);
        const auto& commands = unit().commands();
        QCOMPARE(std::vector<std::string>(commands.end() - 3, commands.end()),
                 (std::vector<std::string>{"=C", "=C", "=C"}));
    }

    void returnStopsTheHeaderBlocksMidWay()
    {
        sim::Faults slow;
        slow.replyDelayMs = 10;
        unit().setFaults(slow);
        HeaderWindow* header = partOf<HeaderWindow>(window);
        header->show();
        const std::size_t mark = unit().commands().size();
        QTimer::singleShot(150, header, [header] { QTest::mouseClick(header->Command2, Qt::LeftButton); });
        QVERIFY(!header->Command1_Click());
        QVERIFY(!header->isVisible());
        QVERIFY(!header->blocksWritten());
        QVERIFY(unit().commands().size() - mark < 100);

        // A block beyond 255 would take a third address digit: refused.
        unit().setFaults({});
        header->show();
        header->Text16->setText("256");
        QVERIFY(!header->Command1_Click());
        QVERIFY(window->link().terminalText().contains("a block is 0-255 - nothing sent"));
        QVERIFY(header->isVisible());
    }

    void rawAndMultichirpTablesArriveWhole_data()
    {
        QTest::addColumn<bool>("multichirp");
        QTest::addColumn<bool>("usb");
        QTest::newRow("raw, serial") << false << false;
        QTest::newRow("raw, USB") << false << true;
        QTest::newRow("multichirp, serial") << true << false;
        QTest::newRow("multichirp, USB") << true << true;
    }
    void rawAndMultichirpTablesArriveWhole()
    {
        QFETCH(bool, multichirp);
        QFETCH(bool, usb);
        if (usb) useUsbWindow();
        QCOMPARE(window->usbRoute().FtdiMode, usb);
        const int digits = multichirp ? 36 : 28;
        QByteArray text = multichirp ? "005\r\n" : "00005\r\n";
        std::vector<std::string> records;
        for (int i = 0; i < 5; ++i) {
            records.push_back(
                QStringLiteral("%1").arg(i * 7919, digits, 16, QLatin1Char('0')).toUpper().toStdString());
            text += QByteArray::fromStdString(records.back()) + "\r\n";
        }
        chosen = writeFile(multichirp ? "sweep.mcp" : "data.ird", text);
        (multichirp ? partOf<QAction>(window, "MnuMultiChirp") : partOf<QAction>(window, "MnuRaw"))->trigger();
        QVERIFY(partOf<TransferPanel>(window)->running());
        QTRY_VERIFY_WITH_TIMEOUT(!partOf<TransferPanel>(window)->running(), 10000);
        const auto& load = unit().lastLoad(multichirp ? sim::LoadKind::Multichirp : sim::LoadKind::Raw);
        QVERIFY(load);
        QCOMPARE(load->lines, records);
        // Only the raw load on the serial route has a verdict.
        // Image and raw loads have their verdict on both routes.
        QCOMPARE(window->link().terminalText().contains("Sent OK!"), !multichirp);
        QVERIFY(window->link().portOpen());
        QVERIFY(window->link().Connected);
        QVERIFY(partOf<QAction>(window, "MnuRaw")->isEnabled());
    }

    void sendLutWritesTheHeaderThenTheTableWithItsCrcs()
    {
        QByteArray text;
        std::vector<std::string> lines;
        for (int i = 0; i < 256; ++i) {
            lines.push_back(QStringLiteral("%1%2")
                                .arg(i * 16, 4, 16, QLatin1Char('0'))
                                .arg(i * 64, 4, 16, QLatin1Char('0'))
                                .toUpper()
                                .toStdString());
            text += QByteArray::fromStdString(lines.back()) + "\r\n";
        }
        chosen = writeFile("t.cal", text);
        partOf<TestPanel>(window)->saveToDds->setChecked(true);
        const std::size_t mark = unit().commands().size();
        partOf<QAction>(window, "menuSndLUT")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!partOf<TransferPanel>(window)->running(), 15000);
        QCOMPARE(unit().commands()[mark], std::string("=C")); // "Send Header" first
        QCOMPARE(unit().commands()[mark + 29], std::string("=F0100"));
        const auto& load = unit().lastLoad(sim::LoadKind::Lut);
        QVERIFY(load);
        QCOMPARE(load->lines.size(), std::size_t(256));
        QCOMPARE(load->lines[1], std::string("001000400BA7")); // CRC by hand
        QCOMPARE(load->outcome, sim::LoadOutcome::Complete);
        QVERIFY(window->link().terminalText().endsWith("Sent OK!\r\n"));
        QVERIFY(!partOf<TestPanel>(window)->saveToDds->isChecked()); // ends unticked

        // A damaged line: the unit answers "K", the send says so and clears nothing.
        sim::Faults crc;
        crc.crcErrorAtLine = 3;
        unit().setFaults(crc);
        chosen = dir.filePath("t.cal");
        partOf<QAction>(window, "menuSndLUT")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!partOf<TransferPanel>(window)->running(), 15000);
        const QString said = window->link().terminalText();
        QVERIFY(said.contains("CRC Error!!"));
        QVERIFY(said.contains("Error!!"));
        QCOMPARE(unit().lastLoad(sim::LoadKind::Lut)->outcome, sim::LoadOutcome::CrcError);
        QCOMPARE(unit().lastLoad(sim::LoadKind::Lut)->lines.size(), std::size_t(2));
        QCOMPARE(unit().commands().back(), std::string("=F0100")); // no "=C" after it

        // Before a file of another length the question says what the send does.
        chosen = writeFile("long.cal", text + "0FFF0000\r\n");
        partOf<QAction>(window, "menuSndLUT")->trigger();
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].contains("257 lines: all are sent; the unit's table has 256"),
                 qPrintable(asked[0]));
    }

    void command57SendsOverUsbReadingEveryReply()
    {
        useUsbWindow();
        partOf<TestPanel>(window)->viaDllBox->setText("L");
        chosen = dir.filePath("bench.plv");
        const QStringList records = writeImage("bench.plv", 3, 5);
        QTest::mouseClick(partOf<TestPanel>(window)->usbImageButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!partOf<TransferPanel>(window)->running(), 10000);
        QCOMPARE(loaded(), records);
        const QString text = window->link().terminalText();
        // "=L", the header and each record.
        QCOMPARE(text.count("L sent ok!!"), 5);
        QVERIFY2(!text.contains("FT_Read"), qPrintable(text)); // each reply was there to read
        QVERIFY(text.endsWith("Sent OK!\r\n"));
        QVERIFY(window->link().portOpen());
        QVERIFY(window->link().Connected);
    }
};

QTEST_MAIN(TestSendWindow)
#include "tst_send_window.moc"
