// The terminal box's typing, the communications log's menu procedure, and the
// small windows around the terminal ("Debug", the polling window, "Fixed
// Frequency"), judged by the bytes the simulated unit receives.
#include "comm_log.h"
#include "debug_window.h"
#include "dialogs.h"
#include "fixed_window.h"
#include "link.h"
#include "poll_list.h"
#include "poll_window.h"
#include "sim_backend.h"
#include "sim_link.h"
#include "synth_state.h"
#include "terminal_panel.h"
#include "unit_session.h"

#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <memory>

using namespace plovan;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestTerminalWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<UnitSession> session; // the poll window runs its loop as a job of it
    Link* link = nullptr;
    sim::SimBackend* sim = nullptr;
    std::size_t seen = 0;
    QTemporaryDir dir;

    // Script for the operator's answers.
    std::deque<QString> files;
    std::deque<QMessageBox::StandardButton> answers;
    QStringList asked, warnings;
    Dialogs dialogs;

    QStringList newLines() { return linesSince(sim, seen); } // since the last call

    // Lets the unit take `n` more lines before they are compared.
    void waitForLines(std::size_t n) { QTRY_VERIFY(sim->unit().commands().size() >= seen + n); }

    QString pollFile() const { return dir.filePath(QLatin1String(kPollFile)); }

    // The polling window, its poll.txt holding `list` (no file when null).
    std::unique_ptr<PollWindow> pollWindow(const QByteArray& list)
    {
        if (!list.isNull()) writeFile(pollFile(), list);
        auto form = std::make_unique<PollWindow>(*session, dir.path());
        form->dialogs = dialogs;
        return form;
    }

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        QFile::remove(pollFile());
        session = std::make_unique<UnitSession>();
        auto backend = std::make_unique<sim::SimBackend>();
        sim = backend.get();
        session->link.setBackend(std::move(backend));
        link = &session->link;
        QVERIFY(link->openPort());
        seen = 0;
        files.clear();
        answers.clear();
        asked.clear();
        warnings.clear();
        dialogs = Dialogs{};
        dialogs.chooseFile = [this](const QString& title, const QString& filter) {
            asked << QStringLiteral("file: ") + title + QStringLiteral(" | ") + filter;
            if (files.empty()) return QString();
            QString f = files.front();
            files.pop_front();
            return f;
        };
        dialogs.askYesNoCancel = [this](const QString& title, const QString& text) {
            asked << title + QStringLiteral(" | ") + text;
            const auto a = answers.front();
            answers.pop_front();
            return a;
        };
        dialogs.warn = [this](const QString&, const QString& text) { warnings << text; };
    }
    void cleanup() { session.reset(); }

    // --- typing into the terminal box ---

    void typedKeysGoToTheUnitOneWriteEach()
    {
        TerminalPanel panel;
        panel.attach(*link);
        link->setTerminalText(QStringLiteral("@"));
        QSignalSpy writes(link, &Link::bytesSent);
        QTest::keyClick(panel.txtDataIn, 'A');
        QTest::keyClick(panel.txtDataIn, Qt::Key_Return);
        QCOMPARE(writes.size(), 3);
        QCOMPARE(writes[0].first().toByteArray(), QByteArray("A"));
        QCOMPARE(writes[1].first().toByteArray(), QByteArray("\r"));
        QCOMPARE(writes[2].first().toByteArray(), QByteArray("\n"));
        // Shown once each, the box not taking the keys itself, caret at the end.
        QVERIFY(link->terminalText().startsWith(QLatin1String("@A\r\n")));
        QVERIFY(panel.txtDataIn->toPlainText().startsWith(QLatin1String("@A\n")));
        QCOMPARE(panel.txtDataIn->textCursor().position(), panel.txtDataIn->toPlainText().size());
        // A whole command typed is one the unit takes and acknowledges.
        QTest::keyClicks(panel.txtDataIn, "=I");
        QTest::keyClick(panel.txtDataIn, Qt::Key_Enter);
        QCOMPARE(writes.size(), 7);
        waitForLines(1);
        QCOMPARE(newLines(), QStringList{"=I"});
        QTRY_VERIFY(link->terminalText().endsWith(QLatin1String("=I\r\n@")));
    }

    void withThePortClosedTheBoxIsAnOrdinaryTextBox()
    {
        TerminalPanel panel;
        panel.attach(*link);
        link->closePort();
        QSignalSpy writes(link, &Link::bytesSent);
        QTest::keyClicks(panel.txtDataIn, "note");
        QCOMPARE(writes.size(), 0);
        QCOMPARE(panel.txtDataIn->toPlainText(), QStringLiteral("note"));
        QVERIFY(link->terminalText().isEmpty());
        // A message of the program's keeps what was typed; clearing the terminal clears it.
        link->terminalLine(QStringLiteral("Port closed"));
        QVERIFY(panel.txtDataIn->toPlainText().startsWith(QLatin1String("note")));
        QVERIFY(panel.txtDataIn->toPlainText().contains(QLatin1String("Port closed")));
        link->clearTerminal();
        QCOMPARE(panel.txtDataIn->toPlainText(), QString());
    }

    void aCharacterThePortCannotCarryIsRefusedWithAMessage()
    {
        TerminalPanel panel;
        panel.attach(*link);
        QSignalSpy writes(link, &Link::bytesSent);
        QKeyEvent euro(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x20AC)));
        QCoreApplication::sendEvent(panel.txtDataIn, &euro);
        QCOMPARE(writes.size(), 0);
        QVERIFY(link->terminalText().contains(QLatin1String("Not sent")));
    }

    void theTerminalStartsAfreshAt2001Characters()
    {
        TerminalPanel panel;
        panel.attach(*link);
        link->setTerminalText(QString(2001, QLatin1Char('x')));
        QTest::keyClick(panel.txtDataIn, 'B');
        QCOMPARE(link->terminalText(), QStringLiteral("B"));
        QCOMPARE(panel.txtDataIn->toPlainText(), QStringLiteral("B"));
    }

    // --- communications log menu ---

    void openLogAsksForTheFileWithItsTitleAndFilter()
    {
        CommLog log;
        const QString path = dir.filePath(QStringLiteral("new.log"));
        QFile::remove(path);
        files = {path};
        QSignalSpy opened(&log, &CommLog::opened);
        QVERIFY(mnuOpenLog_Click(log, dialogs));
        QCOMPARE(asked, QStringList{QStringLiteral("file: Open Communications Log File | "
                                                   "Log Files (*.LOG)|*.log|All Files (*.*)|*.*")});
        QVERIFY(log.isOpen());
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.first().first().toString(), path);
    }

    void noAtTheReplaceQuestionKeepsTheFileAndAppends()
    {
        CommLog log;
        const QString path = dir.filePath(QStringLiteral("kept.log"));
        writeFile(path, "earlier\r\n");
        files = {path};
        answers = {QMessageBox::No};
        QVERIFY(mnuOpenLog_Click(log, dialogs));
        QCOMPARE(asked.last(), QStringLiteral("Open Communications Log File | Replace existing file - ") +
                                   path + QLatin1Char('?'));
        log.recordSent("=I\r\n");
        log.close();
        const QByteArray text = readFile(path);
        QVERIFY2(text.startsWith("earlier\r\n") && text.endsWith(" > =I\r\n"), text.constData());
    }

    void yesReplacesAndCancelAsksAgain()
    {
        CommLog log;
        const QString first = dir.filePath(QStringLiteral("first.log"));
        const QString second = dir.filePath(QStringLiteral("second.log"));
        writeFile(first, "first\r\n");
        writeFile(second, "second\r\n");
        files = {first, second};
        answers = {QMessageBox::Cancel, QMessageBox::Yes};
        QVERIFY(mnuOpenLog_Click(log, dialogs));
        QCOMPARE(log.fileName(), second);
        log.close();
        QCOMPARE(readFile(first), QByteArray("first\r\n"));
        QCOMPARE(readFile(second), QByteArray());
        // Cancelling the file dialog opens nothing and says nothing.
        QVERIFY(!mnuOpenLog_Click(log, dialogs));
        QVERIFY(!log.isOpen());
        QVERIFY(warnings.isEmpty());
    }

    void aLogThatCannotBeOpenedIsReported()
    {
        CommLog log;
        files = {dir.filePath(QStringLiteral("missing/folder/x.log"))};
        QVERIFY(!mnuOpenLog_Click(log, dialogs));
        QVERIFY(!log.isOpen());
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings.first().contains(QLatin1String("missing/folder/x.log")));
    }

    // --- "Debug" ---

    void debugSendsTheLineExactlyAsTyped()
    {
        DebugWindow form(*link);
        QSignalSpy writes(link, &Link::bytesSent);
        form.Text1->setText(QStringLiteral("=dA3"));
        form.Command1->click();
        QCOMPARE(writes.size(), 1);
        QCOMPARE(writes.first().first().toByteArray(), QByteArray("=dA3\r\n"));
        waitForLines(1);
        QCOMPARE(newLines(), QStringList{"=dA3"});
    }

    void debugRefusesWhatItCannotSend()
    {
        DebugWindow form(*link);
        QSignalSpy writes(link, &Link::bytesSent);
        form.Text1->setText(QStringLiteral("=I") + QChar(0x20AC));
        QVERIFY(!form.Command1_Click());
        link->closePort();
        form.Text1->setText(QStringLiteral("=I"));
        QVERIFY(!form.Command1_Click());
        QCOMPARE(writes.size(), 0);
        QVERIFY(link->terminalText().contains(QLatin1String("Not sent")));
        QVERIFY(link->terminalText().contains(QLatin1String("Port not open")));
        QCOMPARE(form.Text1->text(), QStringLiteral("=I"));
    }

    // --- polling window ---

    void pollListLines_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QList<int>>("badLines");
        const QStringList iu{QStringLiteral("I"), QStringLiteral("U")};
        QTest::newRow("ends at star") << QByteArray("I\r\nU\r\n*\r\nD60E0\r\n") << iu << QList<int>{};
        QTest::newRow("ends at file end") << QByteArray("I\nU") << iu << QList<int>{};
        QTest::newRow("CR line ends, BOM, spaces")
            << QByteArray("\xEF\xBB\xBFI \rU\t\r  *  \r") << iu << QList<int>{};
        QTest::newRow("blank lines skipped") << QByteArray("I\r\n\r\n   \r\nU\r\n") << iu << QList<int>{};
        QTest::newRow("register write")
            << QByteArray("D60E0\r\naD00DF\r\n")
            << QStringList{QStringLiteral("D60E0"), QStringLiteral("aD00DF")} << QList<int>{};
        QTest::newRow("leading =, space, symbol, digit")
            << QByteArray("I\r\n=U\r\nD 60E0\r\nE0C;\r\n60E0\r\n*\r\n=bad after star\r\n") << QStringList{}
            << QList<int>{2, 3, 4, 5};
        QTest::newRow("binary junk") << QByteArray("I\r\n\x01\x02\r\n") << QStringList{} << QList<int>{2};
    }
    void pollListLines()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, commands);
        QFETCH(QList<int>, badLines);
        const PollList list = parsePollList(std::string_view(text.constData(), text.size()));
        QList<int> bad;
        for (const PollProblem& p : list.problems)
            bad << p.line;
        QCOMPARE(bad, badLines);
        if (!badLines.isEmpty()) return;
        QStringList got;
        for (const std::string& c : list.commands)
            got << QString::fromStdString(c);
        QCOMPARE(got, commands);
    }

    void goSendsTheListUpToTheStar()
    {
        const auto form = pollWindow("I\r\nU\r\n*\r\nD60E0\r\n");
        QCOMPARE(form->Command1_Click(), PollLoop::End::Finished);
        QCOMPARE(newLines(), (QStringList{"=I", "=U"}));
        QCOMPARE(form->Text1->text(), QStringLiteral("U"));
        QVERIFY(warnings.isEmpty());
    }

    void loopStartsAgainUntilStop()
    {
        const auto form = pollWindow("I\r\nU\r\n*\r\n");
        form->Check1->setChecked(true);
        int sent = 0;
        connect(&form->poll, &PollLoop::lineSent, form.get(), [&] {
            // "Stop" while the fifth line is on its way: that line is still sent.
            if (++sent == 5) form->Command2->click();
            if (sent > 10) form->Check1->setChecked(false); // a run that will not stop fails, not hangs
        });
        QCOMPARE(form->Command1_Click(), PollLoop::End::Stopped);
        QCOMPARE(newLines(), (QStringList{"=I", "=U", "=I", "=U", "=I"}));
        QVERIFY(!form->Check1->isChecked());
        QVERIFY(form->Command1->isEnabled());
    }

    void quitEndsALoopingRunToo()
    {
        // Quit leaves "Loop" ticked; the run must end all the same, not go on
        // polling behind a hidden window.
        const auto form = pollWindow("I\r\nU\r\n*\r\n");
        form->show();
        form->Check1->setChecked(true);
        QSignalSpy finished(form.get(), &PollWindow::finished);
        int sent = 0;
        connect(&form->poll, &PollLoop::lineSent, form.get(), [&] {
            if (++sent == 1) form->Command3->click();
            if (sent > 10) form->Check1->setChecked(false); // a run that will not stop fails, not hangs
        });
        QCOMPARE(form->Command1_Click(), PollLoop::End::Stopped);
        QCOMPARE(newLines(), QStringList{"=I"});
        QVERIFY(!form->isVisible());
        QCOMPARE(finished.size(), 1);
    }

    void eachPassReadsTheListAfresh()
    {
        const auto form = pollWindow("I\r\n");
        form->Check1->setChecked(true);
        int sent = 0;
        connect(&form->poll, &PollLoop::lineSent, form.get(), [&] {
            ++sent;
            if (sent == 1) writeFile(pollFile(), "C\r\n=G\r\n");
        });
        QCOMPARE(form->Command1_Click(), PollLoop::End::NoList);
        QCOMPARE(newLines(), QStringList{"=I"});
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().contains(QLatin1String("line 2")) &&
                     warnings.first().contains(QLatin1String("Polling stopped")),
                 qPrintable(warnings.first()));
    }

    void aMissingMalformedOrEmptyListSendsNothing_data()
    {
        QTest::addColumn<QByteArray>("text"); // null: no file
        QTest::addColumn<QStringList>("said");
        QTest::newRow("missing") << QByteArray() << QStringList{pollFile(), "not found"};
        QTest::newRow("malformed") << QByteArray("I\r\n=U\r\n*\r\n")
                                   << QStringList{"line 2 \"=U\"", "Nothing was sent"};
        QTest::newRow("empty") << QByteArray("*\r\nI\r\n") << QStringList{"no commands"};
    }
    void aMissingMalformedOrEmptyListSendsNothing()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, said);
        const auto form = pollWindow(text);
        QCOMPARE(form->Command1_Click(), PollLoop::End::NoList);
        QCOMPARE(newLines(), QStringList{});
        QCOMPARE(warnings.size(), 1);
        for (const QString& part : said)
            QVERIFY2(warnings.first().contains(part), qPrintable(warnings.first()));
    }

    void aWaitThatFailsEndsTheRun()
    {
        const auto form = pollWindow("I\r\nU\r\n");
        form->Check1->setChecked(true);
        sim->unit().setFaults(sim::Faults{.silent = true});
        link->setAckTimeoutMs(1);
        QCOMPARE(form->Command1_Click(), PollLoop::End::Interrupted);
        waitForLines(1);
        QCOMPARE(newLines(), QStringList{"=I"});
        QVERIFY(form->Command1->isEnabled());
    }

    void withoutAcknowledgementsTheListIsSentWithoutWaiting()
    {
        const auto form = pollWindow("I\r\nU\r\n*\r\n");
        sim->unit().setFaults(sim::Faults{.silent = true});
        link->setAckTimeoutMs(0);
        link->setTestMode(true);
        QCOMPARE(form->Command1_Click(), PollLoop::End::Finished);
        waitForLines(2);
        QCOMPARE(newLines(), (QStringList{"=I", "=U"}));
    }

    void pollingRunsWhileAnotherWaitIsInProgress()
    {
        const auto form = pollWindow("I\r\nU\r\n*\r\n");
        link->setAckTimeoutMs(0);
        PollLoop::End end = PollLoop::End::Busy;
        bool polled = false;
        QTimer::singleShot(0, form.get(), [&] {
            end = form->Command1_Click();
            polled = true;
            // The outer wait looks again at its condition on the next reply.
            link->send("=I");
        });
        QCOMPARE(link->waitUntil([&] { return polled; }, "poll"), WaitResult::Done);
        QCOMPARE(end, PollLoop::End::Finished);
        waitForLines(3);
        QCOMPARE(newLines(), (QStringList{"=I", "=U", "=I"}));
    }

    void goWhileARunIsInProgressStartsNoSecondOne()
    {
        const auto form = pollWindow("I\r\nU\r\n*\r\n");
        PollLoop::End inner = PollLoop::End::Finished;
        bool once = false;
        connect(&form->poll, &PollLoop::lineSent, form.get(), [&] {
            if (once) return;
            once = true;
            QVERIFY(!form->Command1->isEnabled());
            inner = form->Command1_Click();
        });
        QCOMPARE(form->Command1_Click(), PollLoop::End::Finished);
        QCOMPARE(inner, PollLoop::End::Busy);
        QCOMPARE(newLines(), (QStringList{"=I", "=U"}));
    }

    void commandButtonsWaitForTheAcknowledgement()
    {
        const auto form = pollWindow({});
        QVERIFY(form->Command4_Click());
        QVERIFY(form->Command5_Click());
        QVERIFY(form->Command6_Click());
        QCOMPARE(newLines(), (QStringList{"=C", "=G", "=E03"}));
    }

    // --- "Fixed Frequency" ---

    // What fixedEnable does to the writes is the tone controller's; the
    // window only sets it and says so.
    void fixedEnableFollowsTheBox()
    {
        SynthState state;
        FixedFrequencyWindow form(state);
        QSignalSpy changed(&form, &FixedFrequencyWindow::fixedEnableChanged);
        form.Check1->click();
        QVERIFY(state.fixedEnable);
        form.Check1->click();
        QVERIFY(!state.fixedEnable);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed[0].first().toBool(), true);
        QCOMPARE(changed[1].first().toBool(), false);
    }
};

QTEST_MAIN(TestTerminalWindows)
#include "tst_terminal_windows.moc"
