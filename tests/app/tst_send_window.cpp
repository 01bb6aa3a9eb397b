// "&Send Velmar File..." and "Extra Header" from the window against the
// built-in simulated unit: the chosen file arrives whole, a file with
// findings is only sent after "Send anyway?", the progress panel comes and
// goes, and the header words reach the unit.
#include "extra_header_window.h"
#include "main_window.h"
#include "sim_backend.h"
#include "transfer_panel.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace plovan;

class TestSendWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    MainWindow* window = nullptr;
    QStringList asked;
    QString chosen;

    sim::SimUnit& unit() { return qobject_cast<sim::SimBackend*>(window->link().backend())->unit(); }
    QString writeFile(const char* name, const QByteArray& text)
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly)) return {};
        f.write(text);
        return f.fileName();
    }

private slots:
    void initTestCase() { qputenv("PLOVAN_SETTINGS_DIR", dir.path().toLocal8Bit()); }
    void init()
    {
        window = new MainWindow(nullptr, LaunchOptions{QString::fromLatin1(kSimDevice), {}});
        asked.clear();
        window->dialogs.chooseFileToOpen = [this](const QString&, const QString&) {
            return std::exchange(chosen, {});
        };
        window->dialogs.askYesNo = [this](const QString&, const QString& text) {
            asked << text;
            return false;
        };
        window->dialogs.warn = [this](const QString&, const QString& text) { asked << text; };
        window->show();
        QTest::mouseClick(window->findChild<QPushButton*>("Command1"), Qt::LeftButton);
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
        QAction* send = window->MnuMorv;
        QVERIFY(send->isEnabled());
        send->trigger();
        QVERIFY(window->transferPanel->isVisible());
        QVERIFY(!send->isEnabled());
        QVERIFY(!window->findChild<QPushButton*>("Command1")->isEnabled()); // held while it sends
        QTRY_VERIFY_WITH_TIMEOUT(!window->transferPanel->running(), 10000);
        QVERIFY(window->link().terminalText().endsWith("Sent OK!\r\n"));
        QVERIFY(!window->transferPanel->isVisible());
        QVERIFY(send->isEnabled());
        QVERIFY(window->findChild<QPushButton*>("Command1")->isEnabled());
        const auto& load = unit().lastLoad(sim::LoadKind::Image);
        QVERIFY(load);
        QCOMPARE(load->lines, records);
        QVERIFY(asked.isEmpty());
    }

    void inUsbModeTheTableGoesOverUsb()
    {
        delete window;
        window = new MainWindow(
            nullptr, LaunchOptions{QString::fromLatin1(kSimDevice), UsbChoice{UsbDeviceKind::Sim, {}}});
        window->dialogs.chooseFileToOpen = [this](const QString&, const QString&) {
            return std::exchange(chosen, {});
        };
        window->show();
        QTest::mouseClick(window->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QVERIFY(window->usbRoute().FtdiMode);
        chosen = writeFile("usb.plv", "00003\r\n012345678\r\n0ABCDEF01\r\n00000000F\r\n");
        window->MnuMorv->trigger();
        QVERIFY(window->link().USBStatus); // the serial port is shut meanwhile
        QTRY_VERIFY_WITH_TIMEOUT(!window->transferPanel->running(), 10000);
        const auto& load = unit().lastLoad(sim::LoadKind::Image);
        QVERIFY(load);
        QCOMPARE(load->lines, (std::vector<std::string>{"012345678", "0ABCDEF01", "00000000F"}));
        QVERIFY(!window->link().terminalText().contains("Sent OK!")); // the USB route has no verdict
        QVERIFY(window->link().portOpen());
        QVERIFY(window->link().Connected);
        QVERIFY(!window->link().USBStatus);
    }

    void aFileWithFindingsIsSentOnlyWhenTheOperatorSaysSo()
    {
        chosen = writeFile("short.plv", "00003\r\n012345678\r\n");
        window->MnuMorv->trigger();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains("the header announces 3 records, the file ends after 1"));
        QVERIFY(asked[0].endsWith("Send anyway?"));
        QVERIFY(!window->transferPanel->running());
        QVERIFY(!unit().lastLoad(sim::LoadKind::Image));
    }

    void extraHeaderWritesItsWordsAndRefusesAShortOne()
    {
        window->findChild<QAction*>("memEdit")->trigger();
        QVERIFY(!window->isEnabled());
        ExtraHeaderWindow* form = window->extraHeaderWindow.get();
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

        QTest::mouseClick(form->Command2, Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QVERIFY(window->isEnabled());
    }

    void aMissingFileIsSaidAndTheDialogComesBack()
    {
        int shown = 0;
        window->dialogs.chooseFileToOpen = [&](const QString&, const QString&) {
            return ++shown == 1 ? dir.filePath("none.plv") : QString();
        };
        window->MnuMorv->trigger();
        QCOMPARE(shown, 2);
        QCOMPARE(asked, QStringList{dir.filePath("none.plv") + " not found!"});
    }
};

QTEST_MAIN(TestSendWindow)
#include "tst_send_window.moc"
