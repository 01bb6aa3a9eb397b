// The ways a process on Linux reaches x86 I/O ports: the ioperm/iopl
// instructions route, the /dev/port file, and a byte map standing in for
// the ports in tests.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tarsel {

class Backend {
public:
    virtual ~Backend() = default;
    virtual std::string_view name() const = 0;

    // `width` is 8 or 16; a 16-bit access covers `address` (low byte) and
    // `address` + 1. False with `error` set when the port cannot be reached.
    virtual bool read(std::uint16_t address, int width, std::uint16_t& value, std::string& error) = 0;
    virtual bool write(std::uint16_t address, int width, std::uint16_t value, std::string& error) = 0;
};

// Ports as a 64 Ki byte map, all zero at first: lets the width and sign
// rules be tried where there is no port hardware or no privilege.
class MemoryBackend : public Backend {
public:
    std::string_view name() const override { return "memory"; }
    bool read(std::uint16_t address, int width, std::uint16_t& value, std::string& error) override;
    bool write(std::uint16_t address, int width, std::uint16_t value, std::string& error) override;

    std::uint8_t peek(std::uint16_t address) const { return bytes_[address]; }
    void poke(std::uint16_t address, std::uint8_t byte) { bytes_[address] = byte; }

    // Takes "ADDR=VALUE[,ADDR=VALUE...]" (decimal or 0x-hex, as in
    // TARSEL_MEMORY). A VALUE above 0xFF fills ADDR and ADDR+1, low byte
    // first. False with `error` naming the bad entry; entries before it
    // are kept.
    bool seed(std::string_view entries, std::string& error);

private:
    std::array<std::uint8_t, 0x10000> bytes_{};
};

// "auto" (or empty), "ioperm", "devport" or "memory". Empty with `error`
// saying what failed and what to do about it. "auto" tries ioperm, then
// /dev/port, and reports both failures. "memory" is seeded from the
// TARSEL_MEMORY environment variable when it is set.
std::unique_ptr<Backend> openBackend(std::string_view which, std::string& error);

} // namespace tarsel
