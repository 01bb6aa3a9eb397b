// libtarsel: the width and sign rules on the memory backend, the messages
// of backends this machine cannot use.
#include "tarsel.h"
#include "tarsel_port.h"

#include <QFile>
#include <QTest>
#include <cstring>
#include <memory>

namespace {

struct Closer {
    void operator()(tarsel_t* port) const { tarsel_close(port); }
};
using Handle = std::unique_ptr<tarsel_t, Closer>;

Handle openMemory()
{
    char error[256] = "unset";
    Handle port(tarsel_open("memory", error, sizeof error));
    if (!port) qFatal("memory backend failed: %s", error);
    return port;
}

QString openError(const char* backend)
{
    char error[512] = "";
    Handle port(tarsel_open(backend, error, sizeof error));
    return port ? QString() : QString::fromUtf8(error);
}

// Ports from `from` on, as hex bytes like "f0 ab".
void poke(const Handle& port, uint16_t from, const QByteArray& hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    for (int i = 0; i < raw.size(); ++i)
        tarsel_memory_poke(port.get(), uint16_t(from + i), uint8_t(raw[i]));
}

QByteArray peek(const Handle& port, uint16_t from, int count)
{
    QByteArray seen;
    for (int i = 0; i < count; ++i) {
        uint8_t byte = 0;
        if (tarsel_memory_peek(port.get(), uint16_t(from + i), &byte) != 0) qFatal("peek failed");
        seen.append(char(byte));
    }
    return seen.toHex(' ');
}

// Reads 0x00F0 and writes nothing while `failure` is empty; fails with it otherwise.
class ScriptedBackend : public tarsel::Backend {
public:
    std::string failure;
    std::string_view name() const override { return "scripted"; }
    bool read(std::uint16_t, int, std::uint16_t& value, std::string& error) override
    {
        value = 0x00F0;
        return (error = failure).empty();
    }
    bool write(std::uint16_t, int, std::uint16_t, std::string& error) override
    {
        return (error = failure).empty();
    }
};

} // namespace

class TestLibTarsel : public QObject {
    Q_OBJECT

private slots:
    void init() { qunsetenv("TARSEL_MEMORY"); }

    void defaults()
    {
        const Handle port = openMemory();
        QCOMPARE(QString(tarsel_backend(port.get())), QString("memory"));
        QCOMPARE(tarsel_get_address(port.get()), uint16_t(888));
        QCOMPARE(tarsel_get_bitsize(port.get()), 8);
        QCOMPARE(tarsel_stored_value(port.get()), int16_t(0));
        QCOMPARE(tarsel_stored_usvalue(port.get()), int32_t(0));
        QCOMPARE(QString(tarsel_last_error(port.get())), QString());
    }

    void bitsizeKeepsOnly16()
    {
        const Handle port = openMemory();
        for (const auto& [set, kept] : {std::pair{16, 16}, {8, 8}, {32, 8}, {0, 8}, {-16, 8}}) {
            tarsel_set_bitsize(port.get(), 16);
            tarsel_set_bitsize(port.get(), set);
            QCOMPARE(tarsel_get_bitsize(port.get()), kept);
        }
    }

    // Ports 0x378 and 0x379 hold `ports`; value reads at `bits`, usvalue always a word.
    void readsWidthAndSign_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<QByteArray>("ports");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("usvalue");
        QTest::newRow("byte 0xF0 is 240, not -16") << 8 << QByteArray("f0 ab") << 240 << 0xABF0;
        QTest::newRow("byte leaves the next port out") << 8 << QByteArray("00 ff") << 0 << 0xFF00;
        QTest::newRow("bitsize 32 reads a byte") << 32 << QByteArray("f0 ff") << 240 << 0xFFF0;
        QTest::newRow("word 0xFFFF is -1") << 16 << QByteArray("ff ff") << -1 << 65535;
        QTest::newRow("word 0x8000 is -32768") << 16 << QByteArray("00 80") << -32768 << 32768;
        QTest::newRow("word is low byte first") << 16 << QByteArray("34 12") << 0x1234 << 0x1234;
    }
    void readsWidthAndSign()
    {
        QFETCH(int, bits);
        QFETCH(QByteArray, ports);
        QFETCH(int, value);
        QFETCH(int, usvalue);
        const Handle port = openMemory();
        poke(port, 0x378, ports);
        tarsel_set_bitsize(port.get(), bits);
        int16_t readValue = 0x5555;
        int32_t readUsvalue = -7;
        QCOMPARE(tarsel_get_value(port.get(), &readValue), 0);
        QCOMPARE(tarsel_get_usvalue(port.get(), &readUsvalue), 0);
        QCOMPARE(int(readValue), value);
        QCOMPARE(int(readUsvalue), usvalue);
        QCOMPARE(int(tarsel_stored_value(port.get())), value);
        QCOMPARE(int(tarsel_stored_usvalue(port.get())), usvalue);
    }

    // The ports around 0x378 start at 0xEE, so a write that spills shows.
    void writesTouchOnlyTheirWidth_data()
    {
        QTest::addColumn<bool>("viaUsvalue");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("written");
        QTest::addColumn<QByteArray>("after"); // ports 0x377..0x37A
        QTest::newRow("value 0x1234 at 8 sends 0x34 only")
            << false << 8 << 0x1234 << QByteArray("ee 34 ee ee");
        QTest::newRow("value -1 at 8") << false << 8 << -1 << QByteArray("ee ff ee ee");
        QTest::newRow("value at bitsize 32 is a byte") << false << 32 << 0x1234 << QByteArray("ee 34 ee ee");
        QTest::newRow("value at 16, low byte first") << false << 16 << 0x1234 << QByteArray("ee 34 12 ee");
        QTest::newRow("value -2 at 16") << false << 16 << -2 << QByteArray("ee fe ff ee");
        QTest::newRow("usvalue writes a word at 8") << true << 8 << 0x1234 << QByteArray("ee 34 12 ee");
        QTest::newRow("usvalue sends the low 16 bits")
            << true << 16 << 0x12345678 << QByteArray("ee 78 56 ee");
    }
    void writesTouchOnlyTheirWidth()
    {
        QFETCH(bool, viaUsvalue);
        QFETCH(int, bits);
        QFETCH(int, written);
        QFETCH(QByteArray, after);
        const Handle port = openMemory();
        poke(port, 0x377, "ee ee ee ee");
        tarsel_set_bitsize(port.get(), bits);
        QCOMPARE(viaUsvalue ? tarsel_set_usvalue(port.get(), written)
                            : tarsel_set_value(port.get(), int16_t(written)),
                 0);
        QCOMPARE(peek(port, 0x377, 4), after);
    }

    // value and usvalue are kept apart, and only a read changes either.
    void storedValuesChangeOnlyByTheirOwnRead()
    {
        const Handle port = openMemory();
        poke(port, 0x378, "f0 12");
        QCOMPARE(tarsel_get_usvalue(port.get(), nullptr), 0);
        QCOMPARE(tarsel_get_value(port.get(), nullptr), 0);
        QCOMPARE(tarsel_set_value(port.get(), 5), 0);
        QCOMPARE(tarsel_set_usvalue(port.get(), 6), 0);
        QCOMPARE(tarsel_stored_value(port.get()), int16_t(240));
        QCOMPARE(tarsel_stored_usvalue(port.get()), int32_t(0x12F0));
        QCOMPARE(peek(port, 0x378, 2), QByteArray("06 00"));
    }

    void addressIsUsedUnchanged()
    {
        const Handle port = openMemory();
        for (const uint16_t address : {0x0000, 0x0400, 0x8378, 0xFFFF}) {
            tarsel_set_address(port.get(), address);
            QCOMPARE(tarsel_get_address(port.get()), address);
            poke(port, address, "5a");
            int16_t value = 0;
            QCOMPARE(tarsel_get_value(port.get(), &value), 0);
            QCOMPARE(value, int16_t(0x5A));
            QCOMPARE(tarsel_set_value(port.get(), 0x33), 0);
            QCOMPARE(peek(port, address, 1), QByteArray("33"));
        }
    }

    void memorySeed()
    {
        qputenv("TARSEL_MEMORY", "0x378=0xF0,0x300=0xFFFF,784=4660");
        const Handle port = openMemory();
        QCOMPARE(peek(port, 0x377, 3), QByteArray("00 f0 00"));
        QCOMPARE(peek(port, 0x300, 3), QByteArray("ff ff 00"));
        QCOMPARE(peek(port, 0x310, 2), QByteArray("34 12"));
    }

    void badMemorySeedFailsTheOpen_data()
    {
        QTest::addColumn<QByteArray>("seed");
        QTest::addColumn<QString>("entry");
        QTest::newRow("no value") << QByteArray("0x378") << "0x378";
        QTest::newRow("address too big") << QByteArray("0x10000=1") << "0x10000=1";
        QTest::newRow("value too big") << QByteArray("0x378=0x10000") << "0x378=0x10000";
        QTest::newRow("second entry") << QByteArray("0x378=0xF0,0x300=zz") << "0x300=zz";
        QTest::newRow("trailing comma") << QByteArray("0x378=0xF0,") << "";
    }
    void badMemorySeedFailsTheOpen()
    {
        QFETCH(QByteArray, seed);
        QFETCH(QString, entry);
        qputenv("TARSEL_MEMORY", seed);
        QCOMPARE(openError("memory"),
                 QString("TARSEL_MEMORY: bad entry \"%1\" - use ADDR=VALUE[,ADDR=VALUE...], e.g. 0x378=0xF0")
                     .arg(entry));
    }

    void unknownBackendAndErrorBuffer()
    {
        QCOMPARE(openError("parallel"),
                 QString("unknown backend \"parallel\" - use auto, ioperm, devport or memory"));
        QVERIFY(!tarsel_open("parallel", nullptr, 0));

        // A short buffer gets a cut, terminated message and nothing past it.
        char buffer[12];
        std::memset(buffer, '#', sizeof buffer);
        QVERIFY(!tarsel_open("parallel", buffer, 8));
        QCOMPARE(QByteArray(buffer), QByteArray("unknown"));
        QCOMPARE(QByteArray(buffer + 8, 4), QByteArray("####"));

        char cleared[16] = "stale";
        const Handle port(tarsel_open("memory", cleared, sizeof cleared));
        QCOMPARE(QByteArray(cleared), QByteArray());
    }

    // This machine may or may not allow port access; where it does not, the
    // message must name the cause and what to do.
    void iopermFailureSaysWhatToDo()
    {
        const QString error = openError("ioperm");
        if (error.isEmpty()) QSKIP("ioperm works here");
        // The system's reasons, in the process's language.
        const QString noSys = QString::fromLocal8Bit(std::strerror(ENOSYS));
        const QString noPerm = QString::fromLocal8Bit(std::strerror(EPERM));
        if (error.contains(noSys))
            QCOMPARE(error, "ioperm: " + noSys + " - this kernel has no I/O port access");
        else if (error.contains(noPerm))
            QCOMPARE(error, "ioperm: " + noPerm + " - run as root or grant CAP_SYS_RAWIO");
        else
            QVERIFY2(error.startsWith("ioperm: ") && error.contains(" - "), qPrintable(error));
    }

    void devportFailureSaysWhatToDo()
    {
        const QString error = openError("devport");
        if (error.isEmpty()) QSKIP("/dev/port opens here");
        if (!QFile::exists("/dev/port"))
            QCOMPARE(error, "/dev/port: " + QString::fromLocal8Bit(std::strerror(ENOENT)) +
                                " - this system has no /dev/port");
        else
            QVERIFY2(error.startsWith("/dev/port: ") &&
                         error.endsWith(" - run as root or grant CAP_SYS_RAWIO"),
                     qPrintable(error));
    }

    void autoReportsEveryBackendItTried()
    {
        const QString error = openError("auto");
        if (error.isEmpty()) QSKIP("port access works here");
        QCOMPARE(error, openError("ioperm") + "; " + openError("devport"));
        QCOMPARE(openError(nullptr), error);
    }

    void failedAccessKeepsTheStoredValueAndSaysWhy()
    {
        auto owned = std::make_unique<ScriptedBackend>();
        ScriptedBackend& backend = *owned;
        tarsel::Port port(std::move(owned));
        std::int16_t value = 0;
        std::int32_t usvalue = 0;
        QVERIFY(port.readValue(value) && port.readUsValue(usvalue));

        backend.failure = "iopl: Operation not permitted - run as root or grant CAP_SYS_RAWIO";
        value = 7;
        QVERIFY(!port.readValue(value));
        QCOMPARE(value, std::int16_t(7));
        QVERIFY(!port.readUsValue(usvalue));
        QCOMPARE(port.storedValue(), std::int16_t(240));
        QCOMPARE(port.storedUsValue(), std::int32_t(240));
        QVERIFY(!port.writeValue(1));
        QCOMPARE(port.lastError(), backend.failure);

        backend.failure.clear();
        QVERIFY(port.writeUsValue(1));
        QCOMPARE(port.lastError(), std::string());
    }
};

QTEST_GUILESS_MAIN(TestLibTarsel)
#include "tst_libtarsel.moc"
