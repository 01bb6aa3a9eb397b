// The unit panel's and "plovanctl status"'s rows follow the lines on the
// wire, whoever wrote them, and turn "unknown" when the connection is lost.
#include "chirp_programmer.h"
#include "fake_backend.h"
#include "unit_report.h"
#include "unit_session.h"

#include <QTest>

using namespace plovan;

namespace {

// "lost": the connection fails; "typed ...": keys; else a line sent.
void apply(UnitSession& s, const QString& line)
{
    if (line == QLatin1String("lost")) {
        s.link.connectionFailed(QStringLiteral("Connection lost"));
        s.link.openPort();
    }
    else if (line.startsWith(QLatin1String("typed "))) {
        for (const QChar c : line.mid(6) + QLatin1Char('\n'))
            QVERIFY(s.link.writeRaw(QByteArray(1, char(c.unicode()))));
    }
    else {
        if (!s.link.portOpen()) s.link.openPort();
        QVERIFY(s.link.send(line.toStdString()));
    }
}

QString row(const UnitSession& s, const QString& field)
{
    for (const auto& [name, text] : unitReport(s))
        if (name == field) return text;
    return QStringLiteral("(no row)");
}

} // namespace

class TestUnitReport : public QObject {
    Q_OBJECT
private slots:
    void rows_data()
    {
        QTest::addColumn<QStringList>("lines"); // "lost": the connection fails; "typed ...": keys
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        const QStringList tone{"=D5144", "=DEB45", "=D8546", "=D1E47", "=D0FE3", "=DFFE4", "=U"};
        QTest::newRow("nothing told") << QStringList{} << "J1"
                                      << "unknown";
        QTest::newRow("a tone on every output, the word's rounding shown")
            << tone << "J3"
            << "100.000000 MHz (51EB851E), phase unknown, amplitude 0FFF";
        QTest::newRow("mask 2 plays on J2 only") << (QStringList{"=D2030"} + tone) << "J1"
                                                 << "unknown";
        QTest::newRow("channels on") << QStringList{"=D5030"} << "Channels"
                                     << "J1 J3";
        QTest::newRow("control byte") << QStringList{"=E0F"} << "Control byte"
                                      << "0F";
        QTest::newRow("clock word") << QStringList{"=K0A10"} << "Clock word"
                                    << "0A10";
        QTest::newRow("an update's control byte: single tone") << QStringList{"=E0C"} << "Mode"
                                                               << "single";
        QTest::newRow("stored to flash") << QStringList{"=aD0FE3"} << "Save to flash"
                                         << "yes";
        QTest::newRow("connection lost: the tone is unknown") << (tone + QStringList{"lost"}) << "J1"
                                                              << "unknown";
        QTest::newRow("connection lost: the mask is unknown") << QStringList{"=D5030", "lost"} << "Channels"
                                                              << "unknown";
        QTest::newRow("told again after the loss")
            << (QStringList{"lost"} + tone) << "J4"
            << "100.000000 MHz (51EB851E), phase unknown, amplitude 0FFF";
        QTest::newRow("a typed register write: the tones are unknown")
            << (tone + QStringList{"typed =D5144"}) << "J2"
            << "unknown";
        QTest::newRow("a typed control byte: unknown") << QStringList{"=E0F", "typed =E0C"} << "Control byte"
                                                       << "unknown";
        QTest::newRow("a typed line with a backspace: all unknown")
            << QStringList{"=K0A10", "typed =v\b"} << "Clock word"
            << "unknown";
        QTest::newRow("a typed read-back changes nothing")
            << (tone + QStringList{"typed =v"}) << "J2"
            << "100.000000 MHz (51EB851E), phase unknown, amplitude 0FFF";
    }
    void rows()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, field);
        QFETCH(QString, value);
        UnitSession s;
        s.link.setBackend(std::make_unique<FakeBackend>());
        for (const QString& line : lines)
            apply(s, line);
        QCOMPARE(row(s, field), value);
    }

    // A chirp as "CHIRP" (or "Chirp no U") writes it, and what happens next:
    // the mode and the ramp read back from the words on the wire.
    void chirp_data()
    {
        QTest::addColumn<QStringList>("fields"); // start, stop, ramp time, "us"/"ms", dwell multiplier
        QTest::addColumn<QString>("event");      // "no U", "ext trig", "single", or a line for apply()
        QTest::addColumn<QStringList>("shown");  // Mode, Chirp start, stop, step, dwell
        const QStringList worked{"75", "140", "20", "us", "1"};
        const QStringList played{"chirp", "74.996948 MHz (3D70)", "139.999390 MHz (72B0)",
                                 "20.787120 kHz per step (00045C)", "6.4 ns per step (multiplier 1)"};
        const QStringList unknown{"chirp", "unknown", "unknown", "unknown", "unknown"};
        QTest::newRow("the worked example") << worked << "" << played;
        QTest::newRow("ext trig: still chirp") << worked << "ext trig" << played;
        QTest::newRow("milliseconds, a long dwell")
            << QStringList{"80", "120", "2", "ms", "1000"} << ""
            << QStringList{"chirp", "79.998970 MHz (4189)", "119.996071 MHz (624D)",
                           "64.093620 kHz per step (000D71)", "3.2032 us per step (multiplier 1000)"};
        QTest::newRow("no U: the registers do not play yet") << worked << "no U" << unknown;
        QTest::newRow("Single: single tone, the ramp registers kept")
            << worked << "single" << (QStringList{"single"} + played.mid(1));
        QTest::newRow("connection lost: all unknown")
            << worked << "lost" << QStringList{"unknown", "unknown", "unknown", "unknown", "unknown"};
        QTest::newRow("a typed register write: the ramp unknown") << worked << "typed =D00C4" << unknown;
        QTest::newRow("multichirp armed") << worked << "=E2C" << (QStringList{"multichirp"} + played.mid(1));
    }
    void chirp()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, event);
        QFETCH(QStringList, shown);
        UnitSession s;
        auto backend = std::make_unique<FakeBackend>();
        backend->responder = ackEveryLine;
        s.link.setBackend(std::move(backend));
        QVERIFY(s.link.openPort());
        ChirpProgrammer programmer(s.link, s.state, s.hooks, s.tone);
        s.state.frequencyText = fields[0].toStdString();
        s.state.phaseText = fields[1].toStdString();
        programmer.chirp.rampTimeText = fields[2].toStdString();
        programmer.chirp.rampUnit = fields[3] == "ms" ? RampUnit::mS : RampUnit::uS;
        programmer.chirp.dwellMultiplierText = fields[4].toStdString();
        programmer.chirp.extTrig = event == "ext trig";
        QVERIFY(event == "no U" ? programmer.ChirpNoU() : programmer.CHIRP());
        if (event == "single")
            QVERIFY(programmer.enterSingleMode());
        else if (event != "no U" && event != "ext trig" && !event.isEmpty())
            apply(s, event);
        QStringList got;
        for (const char* field : {"Mode", "Chirp start", "Chirp stop", "Chirp step", "Chirp dwell"})
            got << row(s, QLatin1String(field));
        QCOMPARE(got, shown);
    }
};

QTEST_MAIN(TestUnitReport)
#include "tst_unit_report.moc"
