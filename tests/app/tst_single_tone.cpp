// The single-tone page through the main window: settings at start and exit,
// sliders, "Send", channels, typed numbers and the table builder, against the
// built-in simulated unit.
#include "main_window.h"
#include "sim_backend.h"
#include "sim_unit.h"
#include "single_tone_panel.h"
#include "synth_state.h"
#include "tone_page.h"
#include "window_parts.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <clocale>

using namespace plovan;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

std::vector<std::string> suffixFrom(const std::vector<std::string>& all, std::size_t from)
{
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
}

} // namespace

class TestSingleTone : public QObject {
    Q_OBJECT

    QTemporaryDir* settings = nullptr;
    MainWindow* window = nullptr;
    QStringList messages;

    sim::SimUnit& unit() { return qobject_cast<sim::SimBackend*>(window->link().backend())->unit(); }
    SingleTonePanel* panel() { return partOf<SingleTonePanel>(window); }

    void openWindow()
    {
        window = new MainWindow;
        window->dialogs().warn = [this](const QString&, const QString& text) { messages << text; };
        PortSettings s = window->portSettings();
        s.device = QString::fromLatin1(kSimDevice);
        window->setPortSettings(s, false); // for this session only
        window->setAckTimeoutMs(2000);
        window->show();
    }
    // On the box itself: a check box takes clicks on its square and caption only.
    static void clickBox(QCheckBox* box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    void connectToUnit()
    {
        QTest::mouseClick(window->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QVERIFY(window->link().Connected);
    }

private slots:
    void init()
    {
        settings = new QTemporaryDir;
        qputenv("PLOVAN_SETTINGS_DIR", settings->path().toLocal8Bit());
        messages.clear();
    }
    void cleanup()
    {
        delete window;
        window = nullptr;
        delete settings;
        QLocale::setDefault(QLocale::c());
        std::setlocale(LC_ALL, "C");
    }

    // --- settings ---
    void firstRunWritesBothFilesAtExit()
    {
        openWindow();
        QCOMPARE(panel()->frequencySlider->minimum(), 80);
        QCOMPARE(panel()->frequencySlider->maximum(), 140);
        window->close();
        QCOMPARE(readFile(settings->filePath("portset.txt")), QByteArray("2\r\n9600\r\n8\r\n1\r\n"));
        QCOMPARE(readFile(settings->filePath("maxmin.txt")),
                 QByteArray("140\r\n80\r\nMax and min Plovan Frequency. You can edit by hand but please use "
                            "sensible values!\r\n"));
        // The session's simulated unit was not made the saved port.
        QVERIFY(!QFile::exists(settings->filePath("portdev.txt")));
    }

    void savedPortSettingsAreShownAtStart()
    {
        writeFile(settings->filePath("portset.txt"), "1\r\n9600\r\n8\r\n0\r\n");
        writeFile(settings->filePath("maxmin.txt"), "120\r\n40\r\n");
        openWindow();
        QVERIFY(window->link().terminalText().startsWith(
            "Port settings: Port 1, 9600 baud, 8 databits, no Parity\r\n"));
        QCOMPARE(panel()->frequencySlider->maximum(), 120);
        QCOMPARE(panel()->frequencySlider->minimum(), 40);
    }

    // --- sending ---
    void frequencySliderTunesBothGroups()
    {
        openWindow();
        connectToUnit();
        const std::size_t before = unit().commands().size();
        panel()->frequencySlider->setValue(100);
        const std::vector<std::string> expected{"=D5144", "=DEB45", "=D8546", "=D1E47", "=D5184",
                                                "=DEB85", "=D8586", "=D1E87", "=U",     "=E0C"};
        QCOMPARE(suffixFrom(unit().commands(), before), expected);
        QCOMPARE(panel()->frequencyBox->text(), QString("100"));
        QCOMPARE(panel()->wordBox->text(), QString("51EB851E"));
        QCOMPARE(panel()->tableFrequency->text(), QString("51EB"));
        QVERIFY(panel()->frequencySlider->isEnabled());
    }

    void sendWritesFrequencyAmplitudePhaseThenTriggers()
    {
        openWindow();
        connectToUnit();
        panel()->frequencyBox->setText("100");
        panel()->amplitudeBox->setText("512");
        panel()->phaseBox->setText("180");
        const std::size_t before = unit().commands().size();
        QTest::mouseClick(panel()->sendButton, Qt::LeftButton);
        const std::vector<std::string> expected{"=D5144", "=DEB45", "=D8546", "=D1E47", "=D5184", "=DEB85",
                                                "=D8586", "=D1E87", "=U",     "=E0C",   "=D08E3", "=D08E1",
                                                "=D00E4", "=D00E2", "=D08A3", "=D00A4", "=U",     "=E0C",
                                                "=D1F80", "=DFF81", "=U",     "=E0C",   "=I",     "=U"};
        QCOMPARE(suffixFrom(unit().commands(), before), expected);
        QCOMPARE(unit().phaseWord(), std::uint16_t{0x1FFF});
        QCOMPARE(panel()->wordBox->text(), QString("51EB851E"));
        QVERIFY(panel()->sendButton->isEnabled());
    }

    // An operator tuning by keyboard keeps the focus across every write.
    void keyboardFocusStaysWhereTheOperatorLeftIt()
    {
        openWindow();
        connectToUnit();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QSlider* slider = panel()->frequencySlider;
        slider->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(slider));
        const std::size_t before = unit().commands().size();
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(slider, Qt::Key_Right);
        QTRY_VERIFY(unit().commands().size() >= before + 10);
        QTRY_VERIFY(window->link().Connected);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(slider));
        QTest::keyClick(slider, Qt::Key_PageUp);
        QTRY_VERIFY(window->link().Connected);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(slider));

        // A button pressed by keyboard is greyed while it writes, then has the focus back.
        panel()->sendButton->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(panel()->sendButton));
        QTest::keyClick(panel()->sendButton, Qt::Key_Space);
        QTRY_VERIFY(window->link().Connected && panel()->sendButton->isEnabled());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(panel()->sendButton));
    }

    // The window greys its controls while a procedure writes, however the
    // procedures nest, and gives them back only with a usable port.
    void controlsAreGreyedWhileARunHoldsTheUnit()
    {
        openWindow();
        connectToUnit();
        QTest::mouseClick(panel()->extEnable, Qt::LeftButton);
        QCOMPARE(panel()->extEnable->text(), QString("Stop"));
        QVERIFY(window->link().Connected); // writing is not being disconnected
        QVERIFY(!panel()->sendButton->isEnabled());
        QVERIFY(panel()->extEnable->isEnabled()); // the run can be stopped
        QTest::mouseClick(panel()->extEnable, Qt::LeftButton);
        QVERIFY(window->link().Connected);
        QVERIFY(panel()->sendButton->isEnabled());

        // A port lost during a run leaves the controls greyed after it.
        QTest::mouseClick(panel()->initY, Qt::LeftButton);
        window->link().closePort();
        QTest::mouseClick(panel()->initY, Qt::LeftButton);
        QVERIFY(!window->link().Connected);
        QVERIFY(!panel()->sendButton->isEnabled());
    }

    void typedNumbersUseThePointWhateverTheLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        std::setlocale(LC_ALL, "de_DE.UTF-8");
        openWindow();
        connectToUnit();
        panel()->frequencyBox->setText("100.5");
        QTest::mouseClick(panel()->sendButton, Qt::LeftButton);
        QCOMPARE(unit().frequencyWord(), std::uint32_t(100.5 * 4294967296.0 / 312.5));

        const std::size_t before = unit().commands().size();
        panel()->frequencyBox->setText("100,5");
        QTest::mouseClick(panel()->sendButton, Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains("Frequency"), qPrintable(messages.first()));
        QCOMPARE(unit().commands().size(), before); // nothing sent
    }

    void frequencyAboveTheLimitIsClampedAsTyped()
    {
        openWindow();
        panel()->frequencyBox->setText("150");
        QCOMPARE(panel()->frequencyBox->text(), QString("140"));
        panel()->frequencyBox->setText("142");
        QCOMPARE(panel()->frequencyBox->text(), QString("142"));
    }

    void slidersFasterThanTheUnitSendOnlyTheNewestValue()
    {
        openWindow();
        connectToUnit();
        unit().setFaults(sim::Faults{.replyDelayMs = 20});
        // Moves that arrive while the first tune is still writing.
        for (int v = 91; v <= 99; ++v)
            QTimer::singleShot(v - 90, panel()->frequencySlider,
                               [this, v] { panel()->frequencySlider->setValue(v); });
        const std::size_t before = unit().commands().size();
        panel()->frequencySlider->setValue(90);
        QTRY_VERIFY(!partOf<TonePage>(window)->busy());
        int tunes = 0;
        for (const auto& c : suffixFrom(unit().commands(), before))
            if (c.size() == 6 && c.ends_with("44")) ++tunes;
        QCOMPARE(tunes, 2); // 90, then the newest: 99
        QVERIFY(qAbs(unit().wordToMHz(unit().frequencyWord()) - 99.0) < 1e-6);
    }

    void tickingChannelFourTicksTheChain()
    {
        openWindow();
        connectToUnit();
        clickBox(panel()->channelBox[3]);
        for (QCheckBox* box : panel()->channelBox)
            QVERIFY(box->isChecked());
        QCOMPARE(partOf<TonePage>(window)->state.CtrlReg, 15);
        QCOMPARE(partOf<TonePage>(window)->state.AmpMultFact, 2);
        QCOMPARE(unit().channelMask(), std::uint8_t{0xF});
        QCOMPARE(unit().commands().back(), std::string("=U"));
    }

    // --- table builder ---
    void escapeAtTheFirstLocationWritesAFullTable()
    {
        openWindow();
        connectToUnit();
        const QString path = settings->filePath("table.plv");
        window->dialogs().chooseFile = [path](const QString&, const QString&) { return path; };
        clickBox(panel()->buildTable);
        QVERIFY(panel()->tableEsc->isVisible());
        QVERIFY(!panel()->buildTable->isEnabled());
        // Before any tune there is no frequency word to fill with.
        QTest::mouseClick(panel()->tableEsc, Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        QVERIFY(panel()->tableEsc->isVisible());

        panel()->frequencySlider->setValue(100);
        QTest::mouseClick(panel()->tableEsc, Qt::LeftButton);
        const QList<QByteArray> lines = readFile(path).split('\n');
        QCOMPARE(lines.size(), 2 + 63 + 1); // the last split is after the final CR LF
        QCOMPARE(lines.at(0), QByteArray("00040\r"));
        QCOMPARE(lines.at(2), QByteArray("51EB00000\r"));
        QCOMPARE(readFile(settings->filePath("table.cal")).count("0FFF0000\r\n"), 256);
        QVERIFY(!panel()->buildTable->isChecked());
        QVERIFY(!panel()->tableEsc->isVisible());
    }

    void anExistingTableIsReplacedOnlyAfterYes()
    {
        openWindow();
        connectToUnit();
        const QString path = settings->filePath("old.plv");
        writeFile(path, "keep me\r\n");
        int asked = 0;
        QString question;
        window->dialogs().chooseFile = [&](const QString&, const QString&) {
            return asked == 0 ? path : QString();
        };
        window->dialogs().askYesNoCancel = [&](const QString&, const QString& text) {
            ++asked;
            question = text;
            return QMessageBox::No;
        };
        clickBox(panel()->buildTable);
        QCOMPARE(asked, 1);
        QCOMPARE(question, "Replace existing file - " + path + "?");
        QCOMPARE(readFile(path), QByteArray("keep me\r\n"));
        QVERIFY(!panel()->buildTable->isChecked());
    }
};

QTEST_MAIN(TestSingleTone)
#include "tst_single_tone.moc"
