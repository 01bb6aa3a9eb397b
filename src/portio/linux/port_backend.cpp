#include "port_backend.h"

#include "tarsel_number.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#define TARSEL_HAVE_PORT_INSTRUCTIONS 1
#include <bitset>
#include <sys/io.h>
#endif

namespace tarsel {

namespace {

std::string errnoText(int err)
{
    return std::generic_category().message(err);
}

std::string hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// What a user can do about a failed ioperm, iopl or open of /dev/port.
std::string adviceFor(int err)
{
    switch (err) {
    case EPERM:
    case EACCES: return "run as root or grant CAP_SYS_RAWIO";
    case ENOSYS: return "this kernel has no I/O port access";
    case ENOENT: return "this system has no /dev/port";
    default: return {};
    }
}

std::string describe(std::string_view what, int err)
{
    std::string text = std::string(what) + ": " + errnoText(err);
    const std::string advice = adviceFor(err);
    if (!advice.empty()) text += " - " + advice;
    return text;
}

#ifdef TARSEL_HAVE_PORT_INSTRUCTIONS

// The ports ioperm can open; anything above needs iopl(3).
constexpr unsigned kIopermPorts = 0x400;

// Port permissions belong to the calling thread, not to a handle, so what
// has been granted is remembered per thread.
thread_local std::bitset<kIopermPorts> granted;
thread_local bool ioplRaised = false;

class IopermBackend : public Backend {
public:
    static std::unique_ptr<Backend> open(std::string& error)
    {
        // Granting one port shows whether the kernel allows any of it, so an
        // unprivileged caller learns at open rather than at the first access.
        constexpr unsigned kProbe = 0x378;
        if (!ioplRaised && !granted[kProbe]) {
            if (ioperm(kProbe, 1, 1) != 0) {
                error = describe("ioperm", errno);
                return {};
            }
            ioperm(kProbe, 1, 0);
        }
        return std::make_unique<IopermBackend>();
    }

    std::string_view name() const override { return "ioperm"; }

    bool read(std::uint16_t address, int width, std::uint16_t& value, std::string& error) override
    {
        if (!allow(address, width, error)) return false;
        value = width == 16 ? inw(address) : inb(address);
        return true;
    }

    bool write(std::uint16_t address, int width, std::uint16_t value, std::string& error) override
    {
        if (!allow(address, width, error)) return false;
        if (width == 16)
            outw(value, address);
        else
            outb(static_cast<std::uint8_t>(value), address);
        return true;
    }

private:
    static bool allow(std::uint16_t address, int width, std::string& error)
    {
        const unsigned count = width == 16 ? 2 : 1;
        if (ioplRaised) return true;
        if (address + count <= kIopermPorts) {
            if (granted[address] && granted[address + count - 1]) return true;
            if (ioperm(address, count, 1) != 0) {
                error = describe("ioperm", errno);
                return false;
            }
            for (unsigned i = 0; i < count; ++i)
                granted[address + i] = true;
            return true;
        }
        if (iopl(3) != 0) {
            error =
                describe("iopl", errno) + " (ports above 0x3FF such as " + hex(address) + " need iopl(3))";
            return false;
        }
        ioplRaised = true;
        return true;
    }
};

#else

class IopermBackend {
public:
    static std::unique_ptr<Backend> open(std::string& error)
    {
        error = "ioperm: not available - I/O port instructions exist on x86 only; use /dev/port";
        return {};
    }
};

#endif

class DevPortBackend : public Backend {
public:
    explicit DevPortBackend(int fd) : fd_(fd) {}
    ~DevPortBackend() override { ::close(fd_); }
    DevPortBackend(const DevPortBackend&) = delete;
    DevPortBackend& operator=(const DevPortBackend&) = delete;

    static std::unique_ptr<Backend> open(std::string& error)
    {
        const int fd = ::open("/dev/port", O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            error = describe("/dev/port", errno);
            return {};
        }
        return std::make_unique<DevPortBackend>(fd);
    }

    std::string_view name() const override { return "devport"; }

    bool read(std::uint16_t address, int width, std::uint16_t& value, std::string& error) override
    {
        std::uint8_t low = 0, high = 0;
        if (!readByte(address, low, error)) return false;
        if (width == 16 && !readByte(static_cast<std::uint16_t>(address + 1), high, error)) return false;
        value = static_cast<std::uint16_t>(low | high << 8);
        return true;
    }

    bool write(std::uint16_t address, int width, std::uint16_t value, std::string& error) override
    {
        if (!writeByte(address, static_cast<std::uint8_t>(value), error)) return false;
        return width != 16 || writeByte(static_cast<std::uint16_t>(address + 1),
                                        static_cast<std::uint8_t>(value >> 8), error);
    }

private:
    // The file offset is the port number; each byte is one port access.
    bool readByte(std::uint16_t address, std::uint8_t& byte, std::string& error) const
    {
        ssize_t n;
        do
            n = ::pread(fd_, &byte, 1, address);
        while (n < 0 && errno == EINTR);
        return check(n, "read from", address, error);
    }

    bool writeByte(std::uint16_t address, std::uint8_t byte, std::string& error) const
    {
        ssize_t n;
        do
            n = ::pwrite(fd_, &byte, 1, address);
        while (n < 0 && errno == EINTR);
        return check(n, "write to", address, error);
    }

    static bool check(ssize_t n, std::string_view what, std::uint16_t address, std::string& error)
    {
        if (n == 1) return true;
        const std::string where = "/dev/port: " + std::string(what) + " " + hex(address);
        error = n < 0 ? describe(where, errno) : where + ": nothing transferred";
        return false;
    }

    int fd_;
};

} // namespace

bool MemoryBackend::read(std::uint16_t address, int width, std::uint16_t& value, std::string&)
{
    const std::uint8_t high = width == 16 ? bytes_[static_cast<std::uint16_t>(address + 1)] : 0;
    value = static_cast<std::uint16_t>(bytes_[address] | high << 8);
    return true;
}

bool MemoryBackend::write(std::uint16_t address, int width, std::uint16_t value, std::string&)
{
    bytes_[address] = static_cast<std::uint8_t>(value);
    if (width == 16) bytes_[static_cast<std::uint16_t>(address + 1)] = static_cast<std::uint8_t>(value >> 8);
    return true;
}

bool MemoryBackend::seed(std::string_view entries, std::string& error)
{
    if (entries.empty()) return true;
    for (std::size_t start = 0;;) {
        const auto comma = entries.find(',', start);
        const std::string_view entry = entries.substr(start, comma - start);
        const auto equals = entry.find('=');
        const auto address = equals == std::string_view::npos
                                 ? std::nullopt
                                 : parseInteger(entry.substr(0, equals), 0, 0xFFFF);
        const auto value = address ? parseInteger(entry.substr(equals + 1), 0, 0xFFFF) : std::nullopt;
        if (!value) {
            error =
                "bad entry \"" + std::string(entry) + "\" - use ADDR=VALUE[,ADDR=VALUE...], e.g. 0x378=0xF0";
            return false;
        }
        write(static_cast<std::uint16_t>(*address), *value > 0xFF ? 16 : 8,
              static_cast<std::uint16_t>(*value), error);
        if (comma == std::string_view::npos) return true;
        start = comma + 1;
    }
}

std::unique_ptr<Backend> openBackend(std::string_view which, std::string& error)
{
    if (which.empty() || which == "auto") {
        std::string viaIoperm, viaDevPort;
        if (auto backend = IopermBackend::open(viaIoperm)) return backend;
        if (auto backend = DevPortBackend::open(viaDevPort)) return backend;
        error = viaIoperm + "; " + viaDevPort;
        return {};
    }
    if (which == "ioperm") return IopermBackend::open(error);
    if (which == "devport") return DevPortBackend::open(error);
    if (which == "memory") {
        auto backend = std::make_unique<MemoryBackend>();
        const char* seed = std::getenv("TARSEL_MEMORY");
        std::string seedError;
        if (seed && !backend->seed(seed, seedError)) {
            error = "TARSEL_MEMORY: " + seedError;
            return {};
        }
        return backend;
    }
    error = "unknown backend \"" + std::string(which) + "\" - use auto, ioperm, devport or memory";
    return {};
}

} // namespace tarsel
