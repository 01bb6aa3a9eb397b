// Acknowledged frequency settings per second from a remote client over TCP
// (each "FREQ" followed by "*OPC?") against the same settings made directly
// on the session, both against the in-process simulated unit, in alternating
// rounds. Prints the rates, the median and 99th-percentile time the server
// adds to a command (a client round trip less the direct setting's time at
// the same percentile), the bare socket round trip for comparison, and last "ratio: X" (remote rate / direct
// rate).
//
// Usage: remote_rate [--count N] [--reply-delay MS]
//   --count N         settings per round and side (default 2000)
//   --reply-delay MS  the simulated unit waits MS before each reply, as a
//                     unit on a serial line does (default 0: the in-process
//                     unit answers in microseconds, and the socket's own round
//                     trip sets the ratio's ceiling)

#include "remote_server.h"
#include "sim_backend.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 3;

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

std::string frequencyText(int i)
{
    return i % 2 ? "81" : "80.5";
}

// The client: a plain blocking socket on a thread of its own; seconds per command.
std::vector<double> remoteRound(quint16 port, int count, bool bare = false)
{
    std::vector<double> times;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::perror("connect");
        ::close(fd);
        return times;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    for (int i = 0; i < count; ++i) {
        const std::string line = bare ? std::string("*OPC?\n") : "FREQ " + frequencyText(i) + "MHZ;*OPC?\n";
        const auto t0 = Clock::now();
        if (::write(fd, line.data(), line.size()) != ssize_t(line.size())) break;
        char reply[16];
        std::size_t got = 0;
        while (got == 0 || reply[got - 1] != '\n') {
            const ssize_t n = ::read(fd, reply + got, sizeof reply - got);
            if (n <= 0) {
                ::close(fd);
                return times;
            }
            got += std::size_t(n);
        }
        times.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    ::close(fd);
    return times;
}

std::vector<double> directRound(plovan::UnitSession& session, int count)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        session.settings.run([&] {
            session.state.frequencyText = frequencyText(i);
            return session.tone.Tune();
        });
        times.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return times;
}

double sum(const std::vector<double>& v)
{
    double s = 0;
    for (double x : v)
        s += x;
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int count = 2000;
    int replyDelayMs = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--count") == 0) count = std::max(10, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--reply-delay") == 0) replyDelayMs = std::max(0, std::atoi(argv[i + 1]));
    }

    plovan::UnitSession session;
    session.setPortSettings(
        plovan::withDevice(plovan::PortSettings{}, QString::fromLatin1(plovan::kSimDevice)), false);
    if (!session.openPort()) return 1;
    session.link.Connected = true;
    if (auto* sim = qobject_cast<plovan::sim::SimBackend*>(session.link.backend())) {
        plovan::sim::Faults faults;
        faults.replyDelayMs = replyDelayMs;
        sim->unit().setFaults(faults);
    }
    plovan::remote::RemoteServer server(session, QDir::tempPath());
    if (!server.listen(QHostAddress::LocalHost, 0)) return 1;

    std::vector<double> direct, remote;
    double directSeconds = 0, remoteSeconds = 0;
    int round = 0;
    // Each round: the direct settings on this thread, then a client thread
    // while this thread runs the server's event loop.
    std::function<void()> next = [&] {
        if (round++ == kRounds) {
            app.quit();
            return;
        }
        const auto d = directRound(session, count);
        directSeconds += sum(d);
        direct.insert(direct.end(), d.begin(), d.end());
        std::thread([&, port = server.port()] {
            const auto r = remoteRound(port, count);
            QMetaObject::invokeMethod(&app, [&, r] {
                remoteSeconds += sum(r);
                remote.insert(remote.end(), r.begin(), r.end());
                next();
            });
        }).detach();
    };
    QTimer::singleShot(0, &app, next);
    app.exec();
    if (remote.size() != direct.size()) {
        std::fprintf(stderr, "the client lost its connection\n");
        return 1;
    }
    const double directRate = double(direct.size()) / directSeconds;
    const double remoteRate = double(remote.size()) / remoteSeconds;
    std::printf("direct:  %.0f acknowledged settings/s (%zu)\n", directRate, direct.size());
    std::printf("remote:  %.0f acknowledged settings/s (FREQ + *OPC? over TCP)\n", remoteRate);
    std::printf("server adds per command: median %.3f ms, 99th percentile %.3f ms\n",
                (percentile(remote, 0.5) - percentile(direct, 0.5)) * 1e3,
                (percentile(remote, 0.99) - percentile(direct, 0.99)) * 1e3);
    // What the socket round trip alone costs, for the profile.
    std::vector<double> bare;
    std::thread([&, port = server.port()] {
        bare = remoteRound(port, count, true);
        QMetaObject::invokeMethod(&app, [&] { app.quit(); });
    }).detach();
    app.exec();
    std::printf("bare round trip (*OPC? alone): median %.3f ms, 99th percentile %.3f ms\n",
                percentile(bare, 0.5) * 1e3, percentile(bare, 0.99) * 1e3);
    std::printf("direct setting: median %.3f ms\n", percentile(direct, 0.5) * 1e3);
    std::printf("remote round trip: 90th %.3f, 95th %.3f, 98th %.3f, 99th %.3f ms; direct 99th %.3f ms\n",
                percentile(remote, 0.9) * 1e3, percentile(remote, 0.95) * 1e3, percentile(remote, 0.98) * 1e3,
                percentile(remote, 0.99) * 1e3, percentile(direct, 0.99) * 1e3);
    std::printf("ratio: %.3f\n", remoteRate / directRate);
    return 0;
}
