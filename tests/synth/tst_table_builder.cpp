// The recorded files byte for byte: the image table and its dummy cal file,
// the calibration recording of "Store", and how file errors come back.
#include "table_builder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>

using namespace plovan;

namespace {
QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
QByteArray repeated(const QByteArray& line, int n)
{
    return (line + "\r\n").repeated(n);
}
const QByteArray kHeader = "00040\r\n000000000\r\n";
} // namespace

class TestTableBuilder : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

private slots:
    void entries_data()
    {
        QTest::addColumn<QString>("Text29");
        QTest::addColumn<QString>("Text30");
        QTest::addColumn<int>("CtrlReg");
        QTest::addColumn<QString>("line"); // empty: refused
        QTest::newRow("100 MHz, 1+2, word 400") << "51EB"
                                                << "400" << 3 << "51EB40030";
        QTest::newRow("100 MHz, 1, word 800") << "51EB"
                                              << "800" << 1 << "51EB80010";
        QTest::newRow("short word zero-filled") << "51EB"
                                                << "28" << 1 << "51EB02810";
        QTest::newRow("padded word, lower case") << "51eb"
                                                 << "0FFF" << 15 << "51EBFFFF0";
        QTest::newRow("no frequency yet") << ""
                                          << "800" << 1 << "";
        QTest::newRow("frequency too long") << "51EB8"
                                            << "800" << 1 << "";
        QTest::newRow("amplitude above 12 bits") << "51EB"
                                                 << "1000" << 1 << "";
        QTest::newRow("amplitude not hex") << "51EB"
                                           << "8G0" << 1 << "";
    }
    void entries()
    {
        QFETCH(QString, Text29);
        QFETCH(QString, Text30);
        QFETCH(int, CtrlReg);
        QFETCH(QString, line);
        const auto entry = tableEntry(Text29.toStdString(), Text30.toStdString(), CtrlReg);
        QCOMPARE(QString::fromStdString(entry.value_or("")), line);
    }

    void fullTableThenDummyCalFile()
    {
        TableBuilder table;
        QVERIFY(table.start(path("full.plv")).ok());
        for (int location = 1; location < TableBuilder::kLocations; ++location) {
            QCOMPARE(table.location(), location);
            QCOMPARE(table.next("51EB", "28", 3).step, TableStep::Recorded);
        }
        QCOMPARE(table.next("4189", "800", 1).step, TableStep::Finished);
        QVERIFY(!table.recording());
        QCOMPARE(table.location(), 1);
        QCOMPARE(fileBytes(path("full.plv")), kHeader + repeated("51EB02830", 62) + "418980010\r\n");
        QCOMPARE(fileBytes(path("full.cal")), repeated("0FFF0000", 256));
    }

    void escapeAtLocationOneWrites63Fillers()
    {
        TableBuilder table;
        QVERIFY(table.start(path("esc.plv")).ok());
        QCOMPARE(table.escape("4189", 3).step, TableStep::Finished);
        QCOMPARE(fileBytes(path("esc.plv")), kHeader + repeated("418900030", 63));
        QCOMPARE(fileBytes(path("esc.cal")), repeated("0FFF0000", 256));
    }

    void badEntryWritesNothingAndGoesOn()
    {
        TableBuilder table;
        QVERIFY(table.start(path("bad.plv")).ok());
        const TableResult r = table.next("", "800", 1);
        QCOMPARE(r.step, TableStep::BadEntry);
        QVERIFY(!r.error.isEmpty());
        QCOMPARE(table.escape("XY", 1).step, TableStep::BadEntry);
        QVERIFY(!table.start(path("other.plv")).ok()); // one table at a time
        QCOMPARE(table.location(), 1);
        QCOMPARE(table.next("51EB", "800", 1).step, TableStep::Recorded);
        QCOMPARE(table.escape("51EB", 1).step, TableStep::Finished);
        QCOMPARE(fileBytes(path("bad.plv")), kHeader + repeated("51EB80010", 1) + repeated("51EB00010", 62));
    }

    void fileErrorsAreReported()
    {
        QFile blocker(path("notadir"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TableBuilder table;
        const FileStatus s = table.start(path("notadir/t.plv"));
        QVERIFY(s.error.contains("notadir/t.plv") &&
                s.error.contains(QString::fromLocal8Bit(std::strerror(ENOTDIR))));
        QVERIFY(!table.recording());

        if (QFile::exists("/dev/full")) { // opens fine, every flush fails
            QVERIFY(table.start("/dev/full").error.contains("No space left"));
            QVERIFY(!table.recording());
            CalibrationRecorder rec;
            QVERIFY(rec.open("/dev/full").ok());
            QVERIFY(!rec.writeStep(calWords("512", "0")).ok());
            QVERIFY(!rec.isOpen());
        }
    }

    void companionCalFileProblems()
    {
        // The cal file cannot be written: reported by its name, the table stays whole.
        QVERIFY(QDir(dir.path()).mkdir("blocked.cal"));
        TableBuilder table;
        QVERIFY(table.start(path("blocked.plv")).ok());
        const TableResult r = table.escape("51EB", 1);
        QCOMPARE(r.step, TableStep::FileError);
        QVERIFY(r.error.contains("blocked.cal"));
        QVERIFY(!table.recording());
        QCOMPARE(fileBytes(path("blocked.plv")).count("\r\n"), 65);

        // A table named "*cal" is its own companion and must survive.
        QFile self(path("self.cal"));
        QVERIFY(self.open(QIODevice::WriteOnly) && self.write("keep\r\n") == 6);
        self.close();
        QVERIFY(!MakeDummyCalfile(path("self.cal")).ok());
        QCOMPARE(fileBytes(path("self.cal")), QByteArray("keep\r\n"));
    }

    void storeLine_data()
    {
        QTest::addColumn<QString>("Text3");
        QTest::addColumn<QString>("Text2");
        QTest::addColumn<QString>("line");
        QTest::newRow("512, 0") << "512"
                                << "0"
                                << "08000000";
        QTest::newRow("limits") << "1024"
                                << "360"
                                << "0FFF3FFF";
        QTest::newRow("phase 8191.5 floors") << "0"
                                             << "180"
                                             << "00001FFF";
        QTest::newRow("small") << "1"
                               << "1"
                               << "0004002D";
        QTest::newRow("half to even, floor") << "10.375"
                                             << "0.5"
                                             << "002A0016";
        QTest::newRow("fractions round down") << "10.3"
                                              << "359.99"
                                              << "00293FFE";
        QTest::newRow("empty boxes") << ""
                                     << ""
                                     << "00000000";
    }
    void storeLine()
    {
        QFETCH(QString, Text3);
        QFETCH(QString, Text2);
        QFETCH(QString, line);
        QCOMPARE(QString::fromStdString(calWords(Text3.toStdString(), Text2.toStdString()).line()), line);
    }

    void storeRecordsUntil93MHz()
    {
        CalibrationRecorder rec;
        SynthState state;
        int tunes = 0;
        const auto tune = [&] { return ++tunes, true; };
        QCOMPARE(storeCalibrationStep(state, rec, tune).step, StoreStep::FileError); // nothing open
        QCOMPARE(state.frequencyText, std::string("75"));

        QVERIFY(rec.open(path("rec.cal")).ok());
        state.frequencyText = "90";
        state.phaseText = "90";
        QCOMPARE(storeCalibrationStep(state, rec, tune).step, StoreStep::Tuned);
        QCOMPARE(state.frequencyText, std::string("91"));
        QCOMPARE(state.writtenWordText, std::string("0FFF"));
        QCOMPARE(state.PhaseHex, std::string("FFF"));
        QCOMPARE(storeCalibrationStep(state, rec, [] { return false; }).step, StoreStep::TuneStopped);
        QCOMPARE(storeCalibrationStep(state, rec, tune).step, StoreStep::Ended);
        QCOMPARE(tunes, 1);
        QVERIFY(!rec.isOpen());
        QCOMPARE(fileBytes(path("rec.cal")), repeated("08000FFF", 6) + repeated("00000000", 89));

        // A fraction is kept as typed and steps over 93.
        QVERIFY(rec.open(path("frac.cal")).ok());
        state.frequencyText = "92.50";
        QCOMPARE(storeCalibrationStep(state, rec, {}).step, StoreStep::Tuned);
        QCOMPARE(state.frequencyText, std::string("93.5"));
    }
};

QTEST_GUILESS_MAIN(TestTableBuilder)
#include "tst_table_builder.moc"
