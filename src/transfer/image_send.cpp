#include "image_send.h"

#include "image_file.h"

namespace plovan::image {

SenderConfig serialSender()
{
    SenderConfig config;
    config.startCommands = {"=L"};
    config.header = [](std::string_view first) -> std::optional<SenderConfig::Header> {
        const std::optional<std::size_t> n = recordCount(first);
        if (!n) return std::nullopt;
        return SenderConfig::Header{headerLine(first), *n};
    };
    config.record = [](std::string_view line) { return serialRecord(line); };
    config.successLetter = 'L';
    return config;
}

SenderConfig usbSender()
{
    SenderConfig config = serialSender();
    config.record = [](std::string_view line) { return usbRecord(line); };
    config.usbRoute = true;
    return config;
}

SenderConfig usbTestSender()
{
    SenderConfig config = usbSender();
    config.record = [](std::string_view line) { return serialRecord(line) + "\r\n"; };
    config.recordPauseMs = 0;
    return config;
}

} // namespace plovan::image
