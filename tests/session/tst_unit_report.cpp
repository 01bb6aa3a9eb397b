// The unit panel's and "plovanctl status"'s rows follow the lines on the
// wire, whoever wrote them, and turn "unknown" when the connection is lost.
#include "fake_backend.h"
#include "unit_report.h"
#include "unit_session.h"

#include <QTest>

using namespace plovan;

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
        for (const QString& line : lines) {
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
        QString got = QStringLiteral("(no row)");
        for (const auto& [name, text] : unitReport(s))
            if (name == field) got = text;
        QCOMPARE(got, value);
    }
};

QTEST_MAIN(TestUnitReport)
#include "tst_unit_report.moc"
