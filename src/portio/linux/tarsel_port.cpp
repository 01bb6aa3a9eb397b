#include "tarsel_port.h"

namespace tarsel {

bool Port::read(int width, std::uint16_t& raw)
{
    error_.clear();
    return backend_->read(address_, width, raw, error_);
}

bool Port::write(int width, std::uint16_t raw)
{
    error_.clear();
    return backend_->write(address_, width, raw, error_);
}

bool Port::readValue(std::int16_t& value)
{
    std::uint16_t raw = 0;
    if (!read(bitsize_, raw)) return false;
    // A byte is widened unsigned, so only a word read can come back negative.
    value_ = bitsize_ == 16 ? static_cast<std::int16_t>(raw) : static_cast<std::int16_t>(raw & 0xFF);
    value = value_;
    return true;
}

bool Port::writeValue(std::int16_t value)
{
    const auto raw = static_cast<std::uint16_t>(value);
    return write(bitsize_, bitsize_ == 16 ? raw : static_cast<std::uint16_t>(raw & 0xFF));
}

bool Port::readUsValue(std::int32_t& value)
{
    std::uint16_t raw = 0;
    if (!read(16, raw)) return false;
    usValue_ = raw;
    value = usValue_;
    return true;
}

bool Port::writeUsValue(std::int32_t value)
{
    return write(16, static_cast<std::uint16_t>(value));
}

} // namespace tarsel
