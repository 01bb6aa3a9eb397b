// "Edit Calibration" against the in-process simulated unit: a selected row is
// played, the up/down buttons trim and send at once, trims made while the unit
// is still answering are merged, the curve follows, and the rows are saved
// only where the operator says.
#include "cal_editor.h"
#include "cal_plot.h"
#include "sim_link.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QValueAxis>

using namespace plovan;

class TestCalEditor : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    sim::SimBackend* sim = nullptr;
    std::unique_ptr<Link> link;
    Dialogs dialogs;
    QString toOpen, toSave;
    QStringList warnings;
    std::unique_ptr<CalEditor> editor;
    std::size_t seen = 0;

    QString writeCal(const QString& name, const std::function<QByteArray(int)>& line)
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly)) return {};
        for (int i = 0; i < kCalLocations; ++i)
            f.write(line(i) + "\r\n");
        return f.fileName();
    }

private slots:
    void init()
    {
        link = makeSimLink(sim);
        warnings.clear();
        dialogs.chooseFileToOpen = [this](const QString&, const QString&) { return toOpen; };
        dialogs.chooseFile = [this](const QString&, const QString&) { return toSave; };
        dialogs.askYesNoCancel = [](const QString&, const QString&) { return QMessageBox::Yes; };
        dialogs.warn = [this](const QString&, const QString& text) { warnings << text; };
        editor = std::make_unique<CalEditor>(*link, dialogs, [] { return 312.5; });
        toOpen = writeCal("t.cal", [](int i) {
            return QStringLiteral("%1").arg(i * 16, 4, 16, QLatin1Char('0')).toUpper().toLatin1() + "0000";
        });
        editor->openWindow();
        QCOMPARE(editor->List1->count(), kCalLocations);
        seen = sim->unit().commands().size();
    }
    void cleanup()
    {
        editor.reset();
        link.reset();
    }

    void aFrequencyListSelectionPlaysTheRow()
    {
        QCOMPARE(editor->windowTitle(), QString("Edit Calibration - t.cal"));
        QCOMPARE(editor->List1->item(80)->text(), QString("48.83"));
        editor->List1->setCurrentRow(80);
        QStringList sent;
        QTRY_COMPARE((sent += linesSince(sim, seen)).size(), 16);
        QCOMPARE(sent.size(), 16);
        QCOMPARE(sent.mid(0, 4), (QStringList{"=D2844", "=D0045", "=D2884", "=D0085"}));
        QCOMPARE(editor->Text5->text(), QString("2800"));
        QCOMPARE(editor->Text1->text(), QString("0500"));
        QCOMPARE(editor->Text3->text(), QString("1280"));
        QCOMPARE(sim->unit().registerValue(0x63), std::uint8_t(0x05));
        QCOMPARE(editor->List2->currentRow(), 80);
        QCOMPARE(editor->List3->currentRow(), 80);

        // A selection in the other lists follows, without playing.
        editor->List3->setCurrentRow(81);
        QCOMPARE(editor->List1->currentRow(), 81);
        QTest::qWait(20);
        QCOMPARE(linesSince(sim, seen), QStringList{});
    }

    void upDownClampsSendsAndMovesTheCurve()
    {
        editor->List1->setCurrentRow(250); // amplitude 0FA0 = 4000
        QStringList played;
        QTRY_COMPARE((played += linesSince(sim, seen)).size(), 16);
        editor->UpDownN[4]->up->click(); // UpDown5: +256, clamped
        QCOMPARE(editor->CaliA, std::int64_t(4095));
        QCOMPARE(editor->Text1->text(), QString("0FFF"));
        QCOMPARE(linesSince(sim, seen), (QStringList{"=D0F63", "=DFF64", "=D0FA3", "=DFFA4", "=U", "=I"}));
        QCOMPARE(editor->plot->amplitudeSeries->at(250).y(), 4095.0);

        editor->UpDownN[5]->down->click(); // UpDown6: phase -256 from 0, clamped at 0
        QCOMPARE(editor->CaliP, std::int64_t(0));
        QCOMPARE(linesSince(sim, seen), (QStringList{"=D0080", "=D0081", "=U", "=I"}));

        // Leaving the row without "Save Record" drops the trim.
        editor->List1->setCurrentRow(10);
        QCOMPARE(editor->plot->amplitudeSeries->at(250).y(), 4000.0);
        QCOMPARE(editor->List2->item(250)->text(), QString("0FA0"));
    }

    void trimsMadeWhileTheUnitAnswersAreMerged()
    {
        sim::Faults slow;
        slow.replyDelayMs = 20;
        sim->unit().setFaults(slow);
        // Three clicks while the row's 16 lines are being acknowledged.
        QTimer::singleShot(40, editor.get(), [this] {
            for (int i = 0; i < 3; ++i)
                editor->UpDownN[0]->up->click();
        });
        editor->List1->setCurrentRow(1); // amplitude 0010
        QStringList sent;
        QTRY_COMPARE((sent += linesSince(sim, seen)).size(), 16 + 6);
        QCOMPARE(sent.mid(16, 2), (QStringList{"=D0063", "=D1364"})); // only the newest: 0013
    }

    // Arrow keys faster than the unit answers: once it has caught up, the
    // lists, the boxes, the mark and the unit all hold one row.
    void steppingFastShowsAndPlaysOneRow()
    {
        const int down = 12, up = 5;
        sim::Faults slow;
        slow.replyDelayMs = 3;
        sim->unit().setFaults(slow);
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
        editor->List1->setFocus();
        for (int i = 0; i < down + up; ++i) {
            const Qt::Key key = i < down ? Qt::Key_Down : Qt::Key_Up;
            QCoreApplication::postEvent(editor->List1, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
            QCoreApplication::postEvent(editor->List1,
                                        new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
        }
        const int row = down - up;
        QTRY_COMPARE(editor->List1->currentRow(), row);
        const QString wordWhilePlaying = editor->Text5->text();
        QTRY_VERIFY(editor->Command2->isEnabled());
        QTest::qWait(100);
        for (QListWidget* l : {editor->List1, editor->List2, editor->List3}) {
            QCOMPARE(l->currentRow(), row);
            QCOMPARE(l->selectedItems().size(), 1);
            QCOMPARE(l->row(l->selectedItems().first()), row);
        }
        QCOMPARE(editor->plot->selected(), row);
        QCOMPARE(editor->Text1->text(), QString("%1").arg(row * 16, 4, 16, QLatin1Char('0')).toUpper());
        // The unit's amplitude and frequency word are the row's.
        QCOMPARE(sim->unit().registerValue(0x64), std::uint8_t(row * 16));
        QCOMPARE(wordWhilePlaying, editor->Text5->text());
        QCOMPARE(editor->Text5->text().right(2),
                 QString("%1").arg(sim->unit().registerValue(0x45), 2, 16, QLatin1Char('0')).toUpper());
    }

    void aClickInThePlotSelectsTheNearestRow()
    {
        editor->resize(1100, 560);
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
        const QPointF at = editor->plot->chart()->mapToPosition(QPointF(locationMHz(100), 2000),
                                                                editor->plot->amplitudeSeries);
        QTest::mouseClick(editor->plot->viewport(), Qt::LeftButton, {}, at.toPoint());
        QCOMPARE(editor->List1->currentRow(), 100);
        QStringList played;
        QTRY_COMPARE((played += linesSince(sim, seen)).size(), 16);
    }

    void saveRecordAndSaveToDisk()
    {
        editor->List1->setCurrentRow(3);
        editor->UpDownN[2]->up->click(); // UpDown3: +16
        QTest::mouseClick(editor->Command2, Qt::LeftButton);
        QCOMPARE(editor->List2->item(3)->text(), QString("0040"));

        // A cancelled save keeps the editor and its rows.
        bool closed = false;
        connect(editor.get(), &CalEditor::closed, this, [&] { closed = true; });
        toSave.clear();
        QTest::mouseClick(editor->Command3, Qt::LeftButton);
        QVERIFY(editor->isVisible());
        QVERIFY(!closed);
        QVERIFY(!editor->SavMode);

        toSave = dir.filePath("saved.cal");
        QTest::mouseClick(editor->Command3, Qt::LeftButton);
        QVERIFY(closed);
        QVERIFY(!editor->isVisible());
        const auto read = readCalFile(toSave.toStdString());
        QVERIFY(read && read->notes.empty());
        QCOMPARE(read->rows[3].line(), std::string("00400000"));
        QCOMPARE(read->rows[4].line(), std::string("00400000"));
    }

    void aRowThatIsNotHexIsShownAndNotSent()
    {
        toOpen = writeCal("bad.cal",
                          [](int i) { return i == 7 ? QByteArray("0XY00000") : QByteArray("0FFF0000"); });
        QVERIFY(editor->OpenLog());
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings[0].contains("Row 7 (line 8)"));
        seen = sim->unit().commands().size();
        editor->List1->setCurrentRow(7);
        QTRY_VERIFY(editor->status->text().contains("not hex"));
        QCOMPARE(linesSince(sim, seen), QStringList{});
        QCOMPARE(editor->Text1->text(), QString("0XY0"));
        // Trimmed, the amplitude becomes a word again and is sent.
        editor->UpDownN[0]->up->click();
        QCOMPARE(editor->Text1->text(), QString("0000"));
        QCOMPARE(linesSince(sim, seen).size(), 6);
    }

    // ESC, the button or the key, asks before dropping what is not on disk.
    void escapeAsksBeforeDroppingChanges_data()
    {
        QTest::addColumn<int>("change"); // 0 none, 1 a trim, 2 a saved record
        QTest::addColumn<bool>("key");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("nothing changed") << 0 << false << int(QMessageBox::No) << true;
        QTest::newRow("trim, key, no") << 1 << true << int(QMessageBox::No) << false;
        QTest::newRow("trim, button, cancel") << 1 << false << int(QMessageBox::Cancel) << false;
        QTest::newRow("record, key, yes") << 2 << true << int(QMessageBox::Yes) << true;
    }
    void escapeAsksBeforeDroppingChanges()
    {
        QFETCH(int, change);
        QFETCH(bool, key);
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QStringList asked;
        dialogs.askYesNoCancel = [&](const QString&, const QString& text) {
            asked << text;
            return QMessageBox::StandardButton(answer);
        };
        editor = std::make_unique<CalEditor>(*link, dialogs, [] { return 312.5; });
        editor->openWindow();
        QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
        editor->List1->setCurrentRow(3);
        if (change > 0) editor->UpDownN[0]->up->click();
        if (change > 1) editor->Command2->click();
        QCOMPARE(editor->windowTitle(),
                 QString(change ? "Edit Calibration - t.cal *" : "Edit Calibration - t.cal"));
        if (key)
            QTest::keyClick(editor->List1, Qt::Key_Escape);
        else
            editor->Command1->click();
        QCOMPARE(asked.size(), change ? 1 : 0);
        QCOMPARE(editor->isVisible(), !closes);
    }

    // "Save Record" keeps the words that are hex and says what it did.
    void saveRecordSaysWhatItKept_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("amplitude");
        QTest::addColumn<QString>("phase");
        QTest::addColumn<QString>("said");
        QTest::newRow("phase not hex") << QByteArray("00100XY0") << "0010"
                                       << "0XY0"
                                       << "the amplitude word saved; the phase \"0XY0\" is not hex";
        QTest::newRow("neither") << QByteArray("0XY00XY0") << "0XY0"
                                 << "0XY0"
                                 << "Row 7 is not hex: nothing saved";
    }
    void saveRecordSaysWhatItKept()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, amplitude);
        QFETCH(QString, phase);
        QFETCH(QString, said);
        toOpen = writeCal("rec.cal", [&](int i) { return i == 7 ? line : QByteArray("0FFF0000"); });
        QVERIFY(editor->OpenLog());
        editor->List1->setCurrentRow(7);
        editor->Command2->click();
        QCOMPARE(editor->List2->item(7)->text(), amplitude);
        QCOMPARE(editor->List3->item(7)->text(), phase);
        QVERIFY2(editor->status->text().contains(said), qPrintable(editor->status->text()));
    }

    void theSystemsReasonAndTheSaveDialogBesideTheFile()
    {
        QVERIFY(QDir(dir.path()).mkpath("folder.cal"));
        toOpen = dir.filePath("folder.cal");
        QVERIFY(!editor->OpenLog());
        QCOMPARE(warnings, QStringList{toOpen + ": it is a folder, not a file"});

        QString start;
        dialogs.chooseFileFrom = [&](const QString&, const QString&, const QString& at) {
            start = at;
            return QString();
        };
        editor->Command3->click();
        QCOMPARE(start, dir.filePath("t.cal"));

        // The plot's axes say what they show, with ticks at round values.
        QStringList titles;
        for (QAbstractAxis* axis : editor->plot->chart()->axes()) {
            auto* values = qobject_cast<QValueAxis*>(axis);
            QVERIFY(values && values->tickType() == QValueAxis::TicksDynamic && values->tickAnchor() == 0);
            titles << axis->titleText();
        }
        QCOMPARE(titles, (QStringList{"Frequency (MHz)", "Amplitude word", "Phase (degrees)"}));
    }
};

QTEST_MAIN(TestCalEditor)
#include "tst_cal_editor.moc"
