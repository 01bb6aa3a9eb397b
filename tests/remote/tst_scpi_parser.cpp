// The remote language's parser and framer, against the server's own node table.
#include "remote_server.h"
#include "scpi_parser.h"

#include <QTest>

using namespace plovan;
using namespace plovan::scpi;

Q_DECLARE_METATYPE(std::string)

namespace {

// "node?:param|param" per command, then "!code" for the message's error.
std::string describe(const Parsed& parsed)
{
    std::string out;
    for (const Command& c : parsed.commands) {
        if (!out.empty()) out += " ";
        out += remote::nodes()[std::size_t(c.node)].pattern;
        if (c.query) out += "?";
        for (std::size_t i = 0; i < c.parameters.size(); ++i) {
            const Parameter& p = c.parameters[i];
            out += i == 0 ? ":" : "|";
            switch (p.kind) {
            case Parameter::Kind::Number: out += formatNumber(p.number); break;
            case Parameter::Kind::Word: out += "w" + p.text; break;
            case Parameter::Kind::String: out += "s" + p.text; break;
            case Parameter::Kind::Block: out += "b" + std::to_string(p.text.size()); break;
            }
        }
    }
    if (parsed.error.code != kNoError) out += (out.empty() ? "!" : " !") + std::to_string(parsed.error.code);
    return out;
}

} // namespace

class TestScpiParser : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void framing_data();
    void framing();
    void errorQueue();
};

void TestScpiParser::parse_data()
{
    QTest::addColumn<std::string>("message");
    QTest::addColumn<std::string>("expected");
    const auto row = [](const char* name, std::string m, std::string e) { QTest::newRow(name) << m << e; };
    row("common query", "*IDN?", "*IDN?");
    row("common lower case", "*idn?", "*IDN?");
    row("short form", "FREQ 80000000", "[SOURce:]FREQuency[:CW]:80000000");
    row("long form mixed case", "frequency 80MHz", "[SOURce:]FREQuency[:CW]:80000000");
    row("optional nodes given", "SOUR:FREQ:CW 81 MHZ", "[SOURce:]FREQuency[:CW]:81000000");
    row("kilohertz and exponent", ":SOURce:FREQuency 8.1e4KHZ", "[SOURce:]FREQuency[:CW]:81000000");
    row("degrees", "PHAS 90DEG", "[SOURce:]PHASe:90");
    row("time suffixes, and a node below a settable one", "CHIR 75MHZ,140MHZ,2MS;CHIR:CALC? 1,2,4US",
        "[SOURce:]CHIRp:75000000|140000000|0.002 [SOURce:]CHIRp:CALCulate?:1|2|0.000004");
    row("MIN MAX words", "AMPL MAX;FREQ? MIN", "[SOURce:]AMPLitude:wMAX [SOURce:]FREQuency[:CW]?:wMIN");
    row("chain keeps the path", "SOUR:FREQ 80MHZ;PHAS 10",
        "[SOURce:]FREQuency[:CW]:80000000 [SOURce:]PHASe:10");
    row("chain continues below the parent", "SYST:ERR?;ERR?", "SYSTem:ERRor[:NEXT]? SYSTem:ERRor[:NEXT]?");
    row("colon returns to root", "MMEM:LOAD:IMAG 'a.plv';:FREQ 8e7",
        "MMEMory:LOAD:IMAGe:sa.plv [SOURce:]FREQuency[:CW]:80000000");
    row("common inside a chain", "FREQ 8e7;*OPC?", "[SOURce:]FREQuency[:CW]:80000000 *OPC?");
    row("output words", "OUTP:STAT ON;OUTP?", "OUTPut[:STATe]:wON OUTPut[:STATe]?");
    row("doubled quote in a string", "MMEM:LOAD:RAW \"a\"\"b\"", "MMEMory:LOAD:RAW:sa\"b");
    row("definite block with a newline and ;", std::string("MMEM:DATA \"t.plv\",#15ab\n;c", 26),
        "MMEMory:DATA:st.plv|b5");
    row("empty commands skipped", ";;*CLS;", "*CLS");
    row("unknown header", "FOO 1", "!-113");
    row("query of a setting-only node", "*CLS?", "!-113");
    row("setting of a query-only node", "SYST:ERR", "!-113");
    row("first command kept before an error", "*CLS;BOGUS?", "*CLS !-113");
    row("prefix only", "SOUR", "!-113");
    row("junk after header", "FREQ@1", "!-102");
    row("binary garbage", std::string("\x01\xff\x80", 3), "!-102");
    row("unclosed string", "MMEM:LOAD:IMAG \"a.plv", "!-102");
    row("indefinite block refused", "MMEM:DATA \"a\",#0abc", "!-102");
    row("block shorter than its length", "MMEM:DATA \"a\",#19ab", "!-102");
    row("unknown suffix", "FREQ 10 FOO", "!-131");
    row("huge exponent", "FREQ 1e999", "!-222");
    row("missing separator", "FREQ 1 2", "!-102");
    row("lone sign", "FREQ -", "!-102");
}

void TestScpiParser::parse()
{
    QFETCH(std::string, message);
    QFETCH(std::string, expected);
    QCOMPARE(describe(scpi::parse(message, remote::nodes())), expected);
}

void TestScpiParser::framing_data()
{
    // Input in two pieces; the messages framed ("|" between, "!code" for an error).
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("LF and CR LF") << QByteArray("*IDN?\r\nFR") << QByteArray("EQ?\n")
                                  << QByteArray("*IDN?|FREQ?");
    QTest::newRow("block holds LF") << QByteArray("D #3004a\n") << QByteArray("\nb\nX\n")
                                    << QByteArray("D #3004a\n\nb|X");
    QTest::newRow("quoted # is no block")
        << QByteArray("L \"#9\"\n") << QByteArray() << QByteArray("L \"#9\"");
    QTest::newRow("LF ends an open quote")
        << QByteArray("L \"ab\nC\n") << QByteArray() << QByteArray("L \"ab|C");
    QTest::newRow("line too long, next kept")
        << QByteArray(70000, 'A') << QByteArray("xx\n*CLS\n") << QByteArray("!-223|*CLS");
    QTest::newRow("block too large skipped")
        << QByteArray("D #820000000") << QByteArray("\n*CLS\n") << QByteArray("!-223");
}

void TestScpiParser::framing()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QByteArray, expected);
    Framer framer;
    QByteArrayList got;
    for (const QByteArray& part : {first, second})
        for (const auto& m : framer.feed(std::string_view(part.constData(), std::size_t(part.size()))))
            got << (m.error.code ? "!" + QByteArray::number(m.error.code)
                                 : QByteArray::fromStdString(m.text));
    QCOMPARE(got.join('|'), expected);
    QVERIFY(framer.pending() <= Framer::kMaxLine);
}

void TestScpiParser::errorQueue()
{
    ErrorQueue q;
    QCOMPARE(errorReply(q.pop()), std::string("0,\"No error\""));
    for (int i = 0; i < 40; ++i)
        q.push({kDataOutOfRange, "x\"y"});
    QCOMPARE(q.size(), ErrorQueue::kCapacity);
    QCOMPARE(errorReply(q.pop()), std::string("-222,\"Data out of range;x\"\"y\""));
    for (std::size_t i = 2; i < ErrorQueue::kCapacity; ++i)
        q.pop();
    QCOMPARE(errorReply(q.pop()), std::string("-350,\"Queue overflow\""));
    QCOMPARE(q.pop().code, int(kNoError));
}

QTEST_GUILESS_MAIN(TestScpiParser)
#include "tst_scpi_parser.moc"
