#include "crc16.h"

#include "hex_text.h"

#include <array>
#include <boost/crc.hpp>

namespace plovan {

namespace {

template <std::uint16_t Poly, std::uint16_t Init, std::uint16_t XorOut, bool Reflect>
std::uint16_t compute(std::span<const std::uint8_t> bytes)
{
    boost::crc_optimal<16, Poly, Init, XorOut, Reflect, Reflect> crc;
    crc.process_bytes(bytes.data(), bytes.size());
    return crc.checksum();
}

struct ModelName {
    Crc16Model model;
    std::string_view name;
};
constexpr std::array<ModelName, 6> kNames{{
    {Crc16Model::Xmodem, "xmodem"},
    {Crc16Model::CcittFalse, "ccitt-false"},
    {Crc16Model::Kermit, "kermit"},
    {Crc16Model::X25, "x25"},
    {Crc16Model::Arc, "arc"},
    {Crc16Model::Modbus, "modbus"},
}};

} // namespace

std::uint16_t crc16(std::span<const std::uint8_t> bytes, Crc16Model model)
{
    switch (model) {
    case Crc16Model::Xmodem:
        // The same parameters as boost::crc_xmodem_t.
        return compute<0x1021, 0x0000, 0x0000, false>(bytes);
    case Crc16Model::CcittFalse: return compute<0x1021, 0xFFFF, 0x0000, false>(bytes);
    case Crc16Model::Kermit: return compute<0x1021, 0x0000, 0x0000, true>(bytes);
    case Crc16Model::X25: return compute<0x1021, 0xFFFF, 0xFFFF, true>(bytes);
    case Crc16Model::Arc: return compute<0x8005, 0x0000, 0x0000, true>(bytes);
    case Crc16Model::Modbus: return compute<0x8005, 0xFFFF, 0x0000, true>(bytes);
    }
    return 0;
}

std::optional<Crc16Model> crc16ModelFromName(std::string_view name)
{
    for (const auto& entry : kNames)
        if (entry.name == name) return entry.model;
    return std::nullopt;
}

std::string_view crc16ModelName(Crc16Model model)
{
    for (const auto& entry : kNames)
        if (entry.model == model) return entry.name;
    return {};
}

std::string lineCrcText(std::span<const std::uint8_t> bytes, Crc16Model model)
{
    return hexField(crc16(bytes, model), 4);
}

} // namespace plovan
