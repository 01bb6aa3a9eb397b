// One port as host programs see it: an address, an access width and the
// last values read, over whichever backend reaches the hardware.
#pragma once

#include "port_backend.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tarsel {

class Port {
public:
    explicit Port(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {}

    Backend& backend() const { return *backend_; }

    std::uint16_t address() const { return address_; }
    void setAddress(std::uint16_t address) { address_ = address; }

    // Only 16 selects word access; any other width, 32 included, means byte.
    int bitsize() const { return bitsize_; }
    void setBitsize(int bits) { bitsize_ = bits == 16 ? 16 : 8; }

    // A word read comes back signed (0xFFFF is -1), a byte read as 0..255.
    // The result becomes storedValue(); a failed read leaves it.
    bool readValue(std::int16_t& value);
    // A word write sends `value`; a byte write sends its low byte only.
    bool writeValue(std::int16_t value);

    // Always a word, whatever bitsize() says: read zero-extended (0..65535),
    // written as the low 16 bits.
    bool readUsValue(std::int32_t& value);
    bool writeUsValue(std::int32_t value);

    std::int16_t storedValue() const { return value_; }
    std::int32_t storedUsValue() const { return usValue_; }

    // Why the last access failed; empty after one that succeeded.
    const std::string& lastError() const { return error_; }

private:
    bool read(int width, std::uint16_t& raw);
    bool write(int width, std::uint16_t raw);

    std::unique_ptr<Backend> backend_;
    std::uint16_t address_ = 0x378;
    int bitsize_ = 8;
    std::int16_t value_ = 0;
    std::int32_t usValue_ = 0;
    std::string error_;
};

} // namespace tarsel
