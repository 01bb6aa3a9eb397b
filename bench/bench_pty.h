// What the benchmarks share: a responder process on a pseudo-terminal, both
// ends raw, and the plain blocking writes and opens of the C loops they are
// measured against.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace bench {

inline bool makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

inline bool writeAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

struct Responder {
    pid_t pid = -1;
    std::string slavePath;
};

// Forks a child that runs serve(master, arg) on a new pseudo-terminal. The
// child keeps the slave open, so the master never reads EIO between clients,
// and dies with the benchmark.
inline Responder startResponder(void (*serve)(int master, long arg), long arg)
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        std::exit(1);
    }
    if (!makeRaw(master) || !makeRaw(slave)) {
        std::perror("cfmakeraw");
        std::exit(1);
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(1);
    }
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(0);
        serve(master, arg); // keeps `slave` open on purpose
        _exit(0);
    }
    close(master);
    close(slave);
    return {pid, name};
}

inline void stopResponder(Responder& r)
{
    if (r.pid <= 0) return;
    kill(r.pid, SIGTERM);
    waitpid(r.pid, nullptr, 0);
    r.pid = -1;
}

inline int openPlain(const std::string& slavePath)
{
    const int fd = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0 || !makeRaw(fd)) {
        std::perror("open slave");
        std::exit(1);
    }
    return fd;
}

} // namespace bench
