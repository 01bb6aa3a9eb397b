#include "ports.h"

#include <windows.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tarsel {

namespace {

bool memoryPorts = false;
std::array<std::uint8_t, 0x10000> memory{};
PVOID handler = nullptr;
thread_local bool inAccess = false;
thread_local bool faulted = false;

// The length of an in/out instruction at `ip`: an optional 66 prefix, then
// EC-EF (port in DX) or E4-E7 and an 8-bit port. 0 for anything else.
int portInstructionLength(const std::uint8_t* ip)
{
    int prefix = 0;
    if (ip[0] == 0x66) prefix = 1;
    const std::uint8_t op = ip[prefix];
    if (op >= 0xEC && op <= 0xEF) return prefix + 1;
    if (op >= 0xE4 && op <= 0xE7) return prefix + 2;
    return 0;
}

LONG CALLBACK onFault(PEXCEPTION_POINTERS info)
{
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (!inAccess || (code != STATUS_PRIVILEGED_INSTRUCTION && code != STATUS_ACCESS_VIOLATION))
        return EXCEPTION_CONTINUE_SEARCH;
    const auto* ip = reinterpret_cast<const std::uint8_t*>(info->ContextRecord->Rip);
    const int length = portInstructionLength(ip);
    if (length == 0) return EXCEPTION_CONTINUE_SEARCH;
    faulted = true;
    info->ContextRecord->Rip += DWORD64(length);
    return EXCEPTION_CONTINUE_EXECUTION;
}

// The raw instructions; never inlined, so each is exactly the one the
// handler decodes.
__attribute__((noinline)) std::uint8_t rawIn8(std::uint16_t port)
{
    std::uint8_t v = 0;
    asm volatile("inb %%dx, %%al" : "+a"(v) : "d"(port) : "memory");
    return v;
}
__attribute__((noinline)) std::uint16_t rawIn16(std::uint16_t port)
{
    std::uint16_t v = 0;
    asm volatile("inw %%dx, %%ax" : "+a"(v) : "d"(port) : "memory");
    return v;
}
__attribute__((noinline)) void rawOut8(std::uint16_t port, std::uint8_t v)
{
    asm volatile("outb %%al, %%dx" : : "a"(v), "d"(port) : "memory");
}
__attribute__((noinline)) void rawOut16(std::uint16_t port, std::uint16_t v)
{
    asm volatile("outw %%ax, %%dx" : : "a"(v), "d"(port) : "memory");
}

template <typename F> bool guarded(F access)
{
    inAccess = true;
    faulted = false;
    access();
    inAccess = false;
    return !faulted;
}

#ifdef TARSEL_TEST_PORTS
void seed(const char* setting)
{
    // "mem,ADDR=VALUE,..." with numbers in C notation.
    std::string s(setting);
    std::size_t at = s.find(',');
    while (at != std::string::npos) {
        const std::size_t next = s.find(',', at + 1);
        const std::string item =
            s.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        const std::size_t eq = item.find('=');
        if (eq != std::string::npos) {
            const unsigned long port = std::strtoul(item.substr(0, eq).c_str(), nullptr, 0);
            const unsigned long value = std::strtoul(item.substr(eq + 1).c_str(), nullptr, 0);
            memory[port & 0xFFFF] = std::uint8_t(value & 0xFF);
            memory[(port + 1) & 0xFFFF] = std::uint8_t((value >> 8) & 0xFF);
        }
        at = next;
    }
}
#endif

} // namespace

void initPorts()
{
#ifdef TARSEL_TEST_PORTS
    char setting[512] = {};
    const DWORD n = GetEnvironmentVariableA("TARSEL_PORTS", setting, sizeof setting);
    memoryPorts = n > 0 && n < sizeof setting && std::strncmp(setting, "mem", 3) == 0;
    if (memoryPorts) seed(setting);
#endif
    if (!handler) handler = AddVectoredExceptionHandler(1, onFault);
}

void shutdownPorts()
{
    if (handler) RemoveVectoredExceptionHandler(handler);
    handler = nullptr;
}

bool in8(std::uint16_t port, std::uint8_t& value)
{
    if (memoryPorts) {
        value = memory[port];
        return true;
    }
    return guarded([&] { value = rawIn8(port); });
}

bool in16(std::uint16_t port, std::uint16_t& value)
{
    if (memoryPorts) {
        value = std::uint16_t(memory[port] | (memory[std::uint16_t(port + 1)] << 8));
        return true;
    }
    return guarded([&] { value = rawIn16(port); });
}

bool out8(std::uint16_t port, std::uint8_t value)
{
    if (memoryPorts) {
        memory[port] = value;
        return true;
    }
    return guarded([&] { rawOut8(port, value); });
}

bool out16(std::uint16_t port, std::uint16_t value)
{
    if (memoryPorts) {
        memory[port] = std::uint8_t(value & 0xFF);
        memory[std::uint16_t(port + 1)] = std::uint8_t(value >> 8);
        return true;
    }
    return guarded([&] { rawOut16(port, value); });
}

} // namespace tarsel
