#include "command_line.h"

#include "hex_text.h"

namespace plovan {

std::string registerWrite(std::string_view head, std::uint8_t data, std::uint8_t reg)
{
    return std::string(head) + hexField(data, 2) + hexField(reg, 2);
}

std::string controlByteWrite(bool storeToFlash, std::uint8_t value)
{
    return (storeToFlash ? "=aE" : "=E") + hexField(value, 2);
}

std::string headerWrite(bool storeToFlash, std::uint32_t address, std::uint16_t data)
{
    return (storeToFlash ? "=aH" : "=H") + hexField(address & 0xFFFFFFu, 6) + hexField(data, 4);
}

std::string registerRead(std::uint8_t reg)
{
    return "=d" + hexField(reg, 2);
}

std::string_view withoutTerm(std::string_view line)
{
    if (line.ends_with(term)) line.remove_suffix(term.size());
    return line;
}

} // namespace plovan
