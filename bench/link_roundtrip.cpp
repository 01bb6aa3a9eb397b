// Round-trip rate of the Link against a zero-delay responder on a
// pseudo-terminal, the same rate from a plain blocking C loop, and the CPU the
// Link burns while it waits for a late acknowledgement. Prints figures only;
// the last line is "ratio: X", the median Link/plain rate over the round pairs.
//
// Usage: link_roundtrip [--seconds S] [--round S] [--only rates|wait|link|plain]
//   --seconds  measuring time of each side (default 2)
//   --round    length of one alternating round (default 0.02)
//   --only link|plain  runs that side alone for S seconds (for a profiler)

#include "link.h"
#include "serial_backend.h"

#include "bench_link.h"
#include "bench_pty.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <pty.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

constexpr char kCommand[] = "=D60E0";
constexpr char kLine[] = "=D60E0\r\n";
constexpr int kWarmup = 500;
constexpr long kDelayedAckMs = 2000;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// This process only: the responders are children with clocks of their own.
double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double rusageCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// The responder: one "@" per line feed read, after delayMs (0 = at once).
void respond(int master, long delayMs)
{
    char buf[4096];
    char acks[sizeof buf];
    std::memset(acks, '@', sizeof acks);
    for (;;) {
        const ssize_t n = read(master, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(0);
        size_t lf = 0;
        for (ssize_t i = 0; i < n; ++i)
            if (buf[i] == '\n') ++lf;
        if (lf == 0) continue;
        if (delayMs > 0) {
            timespec ts{delayMs / 1000, (delayMs % 1000) * 1000000L};
            while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
            }
        }
        if (!writeAll(master, acks, lf)) _exit(2);
    }
}

bool plainRoundTrip(int fd)
{
    if (!writeAll(fd, kLine, sizeof kLine - 1)) return false;
    char buf[256];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        if (std::memchr(buf, '@', static_cast<size_t>(n))) return true;
    }
}

struct Tally {
    long count = 0;
    double seconds = 0;
    double cpu = 0;
    double rate() const { return seconds > 0 ? static_cast<double>(count) / seconds : 0; }
    double cpuUsPerCommand() const { return count > 0 ? cpu * 1e6 / static_cast<double>(count) : 0; }
};

// Runs `once` for at least `seconds`; the rate of the round, or -1 on a failed command.
template <typename F> double runRound(F&& once, double seconds, Tally& t)
{
    const double c0 = processCpuSeconds();
    const auto t0 = Clock::now();
    long n = 0;
    double elapsed = 0;
    do {
        if (!once()) return -1;
        ++n;
    } while ((elapsed = secondsSince(t0)) < seconds);
    t.cpu += processCpuSeconds() - c0;
    t.count += n;
    t.seconds += elapsed;
    return static_cast<double>(n) / elapsed;
}

double median(std::vector<double> v)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

void printTally(const char* name, const Tally& t)
{
    std::printf("%-7s %6.0f commands/s (%ld in %.2f s; %.1f us CPU per command)\n", name, t.rate(), t.count,
                t.seconds, t.cpuUsPerCommand());
    std::fflush(stdout);
}

// One side alone, so that a profiler sees nothing else.
bool measureOneSide(const std::string& path, bool useLink, double seconds)
{
    plovan::Link link;
    int fd = -1;
    if (useLink)
        openLink(link, path);
    else
        fd = openPlain(path);
    auto once = [&link, fd, useLink] { return useLink ? link.sendWait(kCommand) : plainRoundTrip(fd); };
    Tally t;
    bool ok = true;
    for (int i = 0; ok && i < kWarmup; ++i)
        ok = once();
    if (ok) ok = runRound(once, seconds, t) > 0;
    if (fd >= 0) close(fd);
    link.closePort();
    if (!ok) {
        std::fprintf(stderr, "a command was not acknowledged\n");
        return false;
    }
    printTally(useLink ? "link:" : "plain:", t);
    return true;
}

// Link and plain loop take turns in short rounds, each on a pty and responder
// of its own, so that load from elsewhere on the machine hits both alike.
// Stores the median of the per-pair ratios in `medianRatio`.
bool measureRates(const std::string& linkPath, const std::string& plainPath, double seconds,
                  double roundSeconds, double& medianRatio)
{
    plovan::Link link;
    openLink(link, linkPath);
    const int fd = openPlain(plainPath);
    auto linkOnce = [&link] { return link.sendWait(kCommand); };
    auto plainOnce = [fd] { return plainRoundTrip(fd); };

    bool ok = true;
    for (int i = 0; ok && i < kWarmup; ++i)
        ok = linkOnce() && plainOnce();
    Tally linkT;
    Tally plainT;
    std::vector<double> pairRatios;
    while (ok && (linkT.seconds < seconds || plainT.seconds < seconds)) {
        const double l = runRound(linkOnce, roundSeconds, linkT);
        const double p = l < 0 ? -1 : runRound(plainOnce, roundSeconds, plainT);
        ok = l > 0 && p > 0;
        if (ok) pairRatios.push_back(l / p);
    }
    close(fd);
    link.closePort();
    if (!ok) {
        std::fprintf(stderr, "a command was not acknowledged\n");
        return false;
    }
    printTally("link:", linkT);
    printTally("plain:", plainT);
    medianRatio = median(pairRatios);
    std::printf(
        "pairs:  %zu rounds of %.3f s; ratio overall %.2f, per pair %.2f-%.2f (goal: median >= 0.80)\n",
        pairRatios.size(), roundSeconds, linkT.rate() / plainT.rate(),
        *std::min_element(pairRatios.begin(), pairRatios.end()),
        *std::max_element(pairRatios.begin(), pairRatios.end()));
    std::fflush(stdout);
    return true;
}

// One sendWait against the responder that answers after kDelayedAckMs.
bool measureWait(const std::string& slavePath)
{
    plovan::Link link;
    openLink(link, slavePath);
    link.setAckTimeoutMs(static_cast<int>(kDelayedAckMs) + 3000);
    const double ru0 = rusageCpuSeconds();
    const double pc0 = processCpuSeconds();
    const auto t0 = Clock::now();
    const bool ok = link.sendWait(kCommand);
    const double wall = secondsSince(t0);
    const double pc = processCpuSeconds() - pc0;
    const double ru = rusageCpuSeconds() - ru0;
    link.closePort();
    if (!ok) {
        std::fprintf(stderr, "wait: delayed command not acknowledged\n");
        return false;
    }
    std::printf("wait:   %.2f s wall, %.1f ms CPU (%.2f%% of a core; goal < 1%%)"
                " [getrusage: %.1f ms]\n",
                wall, pc * 1e3, 100.0 * pc / wall, ru * 1e3);
    return true;
}

void printLoad()
{
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        double one = 0;
        if (std::fscanf(f, "%lf", &one) == 1)
            std::printf("load:   %.2f (1-min average before start; %ld CPUs)\n", one,
                        sysconf(_SC_NPROCESSORS_ONLN));
        std::fclose(f);
    }
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 2.0;
    double roundSeconds = 0.02;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        }
        else if (a == "--round" && i + 1 < argc) {
            roundSeconds = std::atof(argv[++i]);
        }
        else if (a == "--only" && i + 1 < argc) {
            only = argv[++i];
        }
        else {
            std::fprintf(stderr, "usage: %s [--seconds S] [--round S] [--only rates|wait|link|plain]\n",
                         argv[0]);
            return 2;
        }
    }
    if (seconds <= 0) seconds = 2.0;
    if (roundSeconds <= 0) roundSeconds = 0.02;
    printLoad();

    // Fork before Qt starts any machinery of its own.
    Responder forLink = startResponder(respond, 0);
    Responder forPlain = startResponder(respond, 0);
    Responder slow = startResponder(respond, kDelayedAckMs);

    int rc = 0;
    {
        QCoreApplication app(argc, argv);
        double medianRatio = -1;
        if (only == "link" || only == "plain") {
            if (!measureOneSide(only == "link" ? forLink.slavePath : forPlain.slavePath, only == "link",
                                seconds))
                rc = 1;
        }
        else {
            if ((only.empty() || only == "rates") &&
                !measureRates(forLink.slavePath, forPlain.slavePath, seconds, roundSeconds, medianRatio))
                rc = 1;
            if ((only.empty() || only == "wait") && !measureWait(slow.slavePath)) rc = 1;
        }
        // Last, so that a script can take it from the tail.
        if (medianRatio >= 0) std::printf("ratio: %.2f\n", medianRatio);
    }

    stopResponder(forLink);
    stopResponder(forPlain);
    stopResponder(slow);
    return rc;
}
