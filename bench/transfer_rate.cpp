// The image send's record rate through the real sender (TransferRunner over
// the Link and the serial backend) against a responder on a pseudo-terminal
// that answers "C" to each record at once and "L" after the last, beside a
// plain blocking C loop doing the same handshake on the same kind of line.
// Also: the sender's memory growth over a 64-record send (the file is
// streamed), and the longest the event loop was held during a send, seen by
// a 10 ms probe timer.
//
// Usage: transfer_rate [--records N] [--runs R]   (defaults 65535 and 3)

#include "table_send.h"
#include "link.h"
#include "serial_backend.h"
#include "transfer_runner.h"

#include "bench_link.h"
#include "bench_pty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;

// The unit's side of an image load: "@" to "=L", nothing to the header, "C"
// to each record, "CL" to the last.
void serveLoads(int master, long)
{
    std::string line;
    long expected = -1; // records of the load in progress; -1 before its header
    long taken = 0;
    char buf[4096];
    for (;;) {
        const ssize_t n = read(master, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] != '\n') {
                if (buf[i] != '\r') line += buf[i];
                continue;
            }
            if (line == "=L") {
                writeAll(master, "@", 1);
                expected = -1;
            }
            else if (expected < 0) {
                expected =
                    std::strtol(line.substr(line.size() > 4 ? line.size() - 4 : 0).c_str(), nullptr, 16);
                taken = 0;
            }
            else if (++taken == expected) {
                writeAll(master, "CL", 2);
                expected = -1;
            }
            else {
                writeAll(master, "C", 1);
            }
            line.clear();
        }
    }
}

std::string writeImage(const QString& dir, long records)
{
    const std::string path = (dir + QStringLiteral("/bench.plv")).toStdString();
    std::ofstream out(path, std::ios::binary);
    char header[32];
    std::snprintf(header, sizeof header, "0%04lX\r\n", records);
    out << header;
    char record[32];
    for (long i = 0; i < records; ++i) {
        std::snprintf(record, sizeof record, "%09lX\r\n", i);
        out << record;
    }
    return path;
}

long rssKb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct SendResult {
    double recordsPerSecond = 0;
    qint64 longestBlockMs = 0;
    bool ok = false;
};

// One send through the real sender; the rate counts from the first record
// written to the verdict, so the two fixed pauses before it do not count.
SendResult senderRun(const std::string& slave, const std::string& file)
{
    plovan::Link link;
    openLink(link, slave);
    plovan::TransferRunner runner(link, plovan::image::serialSender());
    int writes = 0;
    Clock::time_point firstRecord;
    QObject::connect(&link, &plovan::Link::bytesSent, [&] {
        if (++writes == 3) firstRecord = Clock::now();
    });
    SendResult result;
    QElapsedTimer sinceTick;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        result.longestBlockMs = std::max(result.longestBlockMs, sinceTick.restart() - 10);
    });
    QEventLoop loop;
    QObject::connect(&runner, &plovan::TransferRunner::finished, &loop, [&](plovan::TransferOutcome o) {
        result.ok = o == plovan::TransferOutcome::SentOk;
        loop.quit();
    });
    if (!runner.start(QString::fromStdString(file))) std::exit(1);
    sinceTick.start();
    probe.start(10);
    loop.exec();
    const double s = std::chrono::duration<double>(Clock::now() - firstRecord).count();
    result.recordsPerSecond = s > 0 ? runner.engine().recordsSent() / s : 0;
    link.closePort();
    return result;
}

// The same handshake as a plain blocking loop.
double plainRun(const std::string& slave, const std::string& file)
{
    const int fd = openPlain(slave);
    std::ifstream in(file, std::ios::binary);
    std::string line;
    std::getline(in, line);
    writeAll(fd, "=L\r\n", 4);
    line.pop_back();
    const std::string header = line.substr(line.size() - 5) + "\r\n";
    writeAll(fd, header.data(), header.size());
    const auto t0 = Clock::now();
    long records = 0;
    char buf[64];
    while (std::getline(in, line)) {
        line.pop_back();
        line += "\r\n";
        writeAll(fd, line.data(), line.size());
        ++records;
        for (;;) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) std::exit(1);
            if (std::memchr(buf, 'C', static_cast<size_t>(n))) break;
        }
    }
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    close(fd);
    return records / s;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    long records = 65535;
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--records") == 0) records = std::strtol(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
    }
    records = std::clamp(records, 1L, 65535L);
    QTemporaryDir dir;
    Responder unit = startResponder(serveLoads, 0);

    // Memory first, while nothing bigger has run.
    const std::string small = writeImage(dir.path(), 64);
    const long before = rssKb();
    const SendResult smallSend = senderRun(unit.slavePath, small);
    std::printf("memory: %ld KB growth over a 64-record send (goal < 10 MB)%s\n", rssKb() - before,
                smallSend.ok ? "" : " [send failed]");

    const std::string big = writeImage(dir.path(), records);
    std::vector<double> ratios;
    qint64 longestBlock = 0;
    for (int r = 0; r < runs; ++r) {
        const SendResult sent = senderRun(unit.slavePath, big);
        const double plain = plainRun(unit.slavePath, big);
        ratios.push_back(sent.recordsPerSecond / plain);
        longestBlock = std::max(longestBlock, sent.longestBlockMs);
        std::printf("run %d: sender %.0f records/s%s, plain loop %.0f records/s, ratio %.2f\n", r + 1,
                    sent.recordsPerSecond, sent.ok ? "" : " [no Sent OK]", plain, ratios.back());
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("event loop: held at most %lld ms beyond its 10 ms probe (goal < 50 ms)\n",
                static_cast<long long>(longestBlock));
    std::printf("ratio: %.2f (median of %d runs of %ld records; goal >= 0.80)\n", ratios[ratios.size() / 2],
                runs, records);
    stopResponder(unit);
    return 0;
}
