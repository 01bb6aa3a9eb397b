// Hex text, numbers as typed, record bytes and the unit's read-back replies:
// every text that comes from a file, a box or the unit.
#include "cal_file.h"
#include "hex_text.h"
#include "unit_protocol.h"
#include "vswr_file.h"
#include "words.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::int64_t v = plovan::HexValue(text);
    if (v < -1) __builtin_trap();
    for (std::size_t k = 0; k < 8; ++k)
        (void)plovan::recordByte(text, k);
    (void)plovan::hexField(v, size % 12);
    if (const auto d = plovan::parseDecimal(text)) {
        (void)plovan::frequencyWord(*d, *d, 312.5);
        (void)plovan::frequencyMHz(*d);
    }
    (void)plovan::readBoxNumber(text);
    (void)plovan::calWords(text, text);
    (void)plovan::unit::parseByteReadback(text);
    (void)plovan::unit::parseAnalogue(text);
    (void)plovan::unit::controlByteDigitsFromTerminal(text);
    std::string why;
    if (const auto reading = plovan::vswr::decodeReply(text, &why))
        (void)plovan::vswr::dataLine(int(size), *reading);
    return 0;
}
