// The I/O port space as the control reaches it: the processor's in/out
// instructions, or, for tests, a map in memory.
//
// In user mode under Windows NT (and Wine) in/out fault with a privileged
// instruction exception. A vectored handler catches that fault for the
// instructions below only, skips the instruction, and the access reports
// failure instead of the host dying.
#pragma once

#include <cstdint>

namespace tarsel {

// Only in the test build of the control (TARSEL_TEST_PORTS defined):
// TARSEL_PORTS=mem[,ADDR=VALUE...] chooses the in-memory map, seeded with
// 16-bit little-endian VALUEs, e.g. "mem,0x378=0xF0,0x300=0xFFFF". The
// released control always uses the processor's ports, whatever its host's
// environment holds.
void initPorts();
void shutdownPorts();

// False when the access was denied (the fault was caught).
bool in8(std::uint16_t port, std::uint8_t& value);
bool in16(std::uint16_t port, std::uint16_t& value);
bool out8(std::uint16_t port, std::uint8_t value);
bool out16(std::uint16_t port, std::uint16_t value);

} // namespace tarsel
