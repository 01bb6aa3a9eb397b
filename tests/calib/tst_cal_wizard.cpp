// The calibration wizard: it writes the bytes plovanctl's "cal flatten" writes
// from the same inputs, asks before replacing a file, offers "Send LUT", and
// its guided measurement plays each frequency on the unit as a job and saves
// the readings beside the table.
#include "cal_player.h"
#include "cal_wizard.h"
#include "sim_backend.h"
#include "unit_session.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

using namespace plovan;

namespace {

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestCalWizard : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    UnitSession session;
    Dialogs dialogs;
    QStringList toWrite;   // the answers of the file dialog, in turn
    QStringList questions; // every question asked
    QStringList sent;      // the tables handed to "Send LUT"
    std::unique_ptr<CalWizard> wizard;

private slots:
    void init()
    {
        toWrite.clear();
        questions.clear();
        sent.clear();
        dialogs.chooseFileFrom = [this](const QString&, const QString&, const QString& start) {
            return toWrite.isEmpty() ? QString() : toWrite.takeFirst().replace("<start>", start);
        };
        dialogs.askYesNoCancel = [this](const QString&, const QString& text) {
            questions << text;
            return QMessageBox::No;
        };
        dialogs.askYesNo = [this](const QString&, const QString& text) {
            questions << text;
            return true;
        };
        dialogs.warn = [this](const QString&, const QString& text) { questions << text; };
        wizard = std::make_unique<CalWizard>(session, dialogs, [this](const QString& p) { sent << p; });
        wizard->calPath->setText(PLOVAN_EXAMPLES "/calibration/old.cal");
    }
    void cleanup() { wizard.reset(); }

    void writesWhatPlovanctlWrites_data()
    {
        QTest::addColumn<QString>("measured");
        QTest::addColumn<QStringList>("target"); // plovanctl's options
        QTest::newRow("one column, the highest level") << "measured.csv" << QStringList{};
        QTest::newRow("three words, a level") << "measured-words.csv" << QStringList{"--target", "1.5"};
        QTest::newRow("three words, a shape") << "measured-words.csv" << QStringList{"--shape", "shape.csv"};
    }
    void writesWhatPlovanctlWrites()
    {
        QFETCH(QString, measured);
        QFETCH(QStringList, target);
        QFile shape(dir.filePath("shape.csv"));
        QVERIFY(shape.open(QIODevice::WriteOnly));
        shape.write("MHz;level\n60;1\n100;0.8\n");
        shape.close();
        wizard->measuredPath->setText(PLOVAN_EXAMPLES "/calibration/" + measured);
        if (target.value(0) == "--target") {
            wizard->targetLevel->setChecked(true);
            wizard->level->setText(target[1]);
        }
        if (target.value(0) == "--shape") {
            wizard->targetShape->setChecked(true);
            wizard->shapePath->setText(target[1] = dir.filePath(target[1]));
        }
        QVERIFY(!wizard->save->isEnabled());
        wizard->preview->click();
        QVERIFY2(wizard->save->isEnabled(), qPrintable(wizard->report->toPlainText()));
        QVERIFY(wizard->flatness->text().startsWith("Predicted flatness over 60.00-100.00 MHz: max/min 1."));
        const QChart* chart = wizard->plot->chart();
        QCOMPARE(chart->axes(Qt::Horizontal).front()->titleText(), QString("Frequency (MHz)"));
        QCOMPARE(chart->axes(Qt::Vertical).size(), 2);

        // An existing file is replaced only after asking: "No" asks for another name.
        const QString taken = dir.filePath("taken.cal"), out = dir.filePath("new.cal");
        QFile(taken).open(QIODevice::WriteOnly);
        QFile::remove(out);
        toWrite = {taken, out};
        wizard->save->click();
        QCOMPARE(questions.value(0), "Replace existing file - " + taken + "?");
        QCOMPARE(contents(taken), QByteArray());
        QCOMPARE(questions.value(1), out + " written.\n\nSend LUT now?");
        QCOMPARE(sent, QStringList{out});

        const QString ctlOut = dir.filePath("ctl.cal");
        QFile::remove(ctlOut);
        QProcess ctl;
        ctl.start(qEnvironmentVariable("PLOVANCTL_BIN"),
                  QStringList{"cal", "flatten", wizard->measuredPath->text(), "--cal",
                              wizard->calPath->text(), "--out", ctlOut} +
                      target);
        QVERIFY(ctl.waitForFinished(20000));
        QCOMPARE(ctl.exitCode(), 0);
        QCOMPARE(contents(out).size(), 2560);
        QCOMPARE(contents(out), contents(ctlOut));
    }

    void guidedMeasurementPlaysEachFrequency()
    {
        auto backend = std::make_unique<sim::SimBackend>();
        const sim::SimBackend* unit = backend.get();
        session.link.setBackend(std::move(backend));
        QVERIFY(session.link.openPort());
        wizard->calPath->setText(dir.filePath("old.cal"));
        wizard->fromMHz->setText("60");
        wizard->toMHz->setText("64");
        wizard->stepMHz->setText("2");
        wizard->word->setText("800");
        toWrite = {"<start>"};
        wizard->start->click();
        QCOMPARE(session.job(), std::optional<Job>(Job::CalPlay));
        for (const char* typed : {"0.5", "x", "0.625", "0.75"}) {
            wizard->reading->setText(QString::fromLatin1(typed));
            wizard->next->click();
        }
        QVERIFY(wizard->measureStatus->text().startsWith("Readings saved in "));
        QCOMPARE(session.job(), std::nullopt);
        // Each frequency played as the editor plays a row, at the word given.
        const auto played = *cal::initLines("62", CalRow{"0800", "0000"}, session.state.ClkFreq);
        const auto& taken = unit->unit().commands();
        QCOMPARE(std::count(taken.begin(), taken.end(), played.front()), 1);
        QCOMPARE(contents(dir.filePath("old-measured.csv")),
                 QByteArray("# Measured with the calibration wizard\r\nMHz,A=0800\r\n60,0.5\r\n62,0.625\r\n"
                            "64,0.75\r\n"));
        QCOMPARE(wizard->measuredPath->text(), dir.filePath("old-measured.csv"));
    }
};

QTEST_MAIN(TestCalWizard)
#include "tst_cal_wizard.moc"
