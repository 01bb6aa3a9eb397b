#include "table_send.h"

#include "hex_text.h"
#include "table_file.h"
#include "unit_commands.h"

#include <memory>

namespace plovan {

namespace {

using Wait = SenderConfig::Wait;

std::function<std::optional<SenderConfig::Header>(std::string_view)> headerOf(const table::Layout& layout)
{
    return [layout](std::string_view first) -> std::optional<SenderConfig::Header> {
        const std::optional<std::size_t> n = table::recordCount(first, layout);
        if (!n) return std::nullopt;
        return SenderConfig::Header{table::headerLine(first, layout), *n};
    };
}

// The USB route of a serial send: records of `bytes` bytes a millisecond
// apart without waiting for their replies; the unit's letters, read as they
// come, still stop the records and give the verdict after the last.
SenderConfig overUsb(SenderConfig config, std::size_t bytes)
{
    config.record = [bytes](std::string_view line) { return table::usbRecord(line, bytes); };
    config.recordsAsBytes = true;
    config.recordWait = Wait::None;
    config.recordPauseMs = 1;
    return config;
}

std::string whole(std::string_view line)
{
    return std::string(line);
}

} // namespace

SenderConfig image::serialSender()
{
    SenderConfig config;
    config.kind = "image";
    config.startCommands = {{cmd::imageLoad()}};
    config.header = headerOf(table::kImage);
    config.record = [](std::string_view line) { return serialRecord(line); };
    config.successLetter = 'L';
    return config;
}

SenderConfig image::usbSender()
{
    return overUsb(serialSender(), kUsbRecordBytes);
}

SenderConfig image::usbTestSender()
{
    // Each record as on the serial route, with its line end, and its reply
    // awaited as there.
    SenderConfig config = serialSender();
    config.record = [](std::string_view line) { return serialRecord(line) + "\r\n"; };
    config.recordsAsBytes = true;
    return config;
}

SenderConfig raw::serialSender()
{
    SenderConfig config;
    config.kind = "raw";
    config.startCommands = {{cmd::rawLoad()}};
    config.header = headerOf(table::kRaw);
    // The header waits for its "C" like a record; an "E" to it is not taken
    // as "too big" here: the first record still goes out, and the verdict
    // then says "Error!".
    config.headerWait = Wait::LineReply;
    config.tooBigTest = false;
    config.record = whole;
    config.successLetter = 'Q';
    return config;
}

SenderConfig raw::usbSender()
{
    // The header's reply is read, and an "E" to it is "too big", as the
    // USB route has it.
    SenderConfig config = overUsb(serialSender(), kUsbRecordBytes);
    config.tooBigTest = true;
    return config;
}

SenderConfig multichirp::serialSender()
{
    SenderConfig config;
    config.kind = "multichirp";
    config.startCommands = {{cmd::controlMultichirp(), true}, {""}, {cmd::imageLoad(), true}};
    config.header = headerOf(table::kMultichirp);
    config.tooBigTest = false;
    config.record = whole;
    config.recordWait = Wait::Ack;
    config.recordPauseMs = TransferEngine::kPawSMs;
    config.stopLetters.clear();
    config.successLetter.reset();
    // The Part never aborts a multichirp load: a record unacknowledged in
    // time is counted, and the send goes on.
    config.abortSequence = false;
    config.unansweredGoesOn = true;
    return config;
}

SenderConfig multichirp::usbSender()
{
    SenderConfig config = overUsb(serialSender(), kUsbRecordBytes);
    config.stopLetters.clear();
    config.usb = SenderConfig::Usb::RecordsOnly;
    return config;
}

std::string lut::LineCrc::withCrc(std::string_view line)
{
    for (std::size_t k = 0; k < bytes_.size(); ++k)
        if (const std::optional<std::uint8_t> b = recordByte(line, k)) bytes_[k] = *b;
    return std::string(line) + lineCrcText(bytes_, model_);
}

SenderConfig lut::serialSender(bool skipCrc, Crc16Model model)
{
    SenderConfig config;
    config.kind = "LUT";
    config.startCommands = {{"=F0100"}};
    config.startPauseMs = kNewDelyMs;
    config.progressTotal = kLines;
    if (skipCrc) {
        config.record = whole;
    }
    else {
        // A fresh sender per send: the bytes start at 0.
        auto crc = std::make_shared<LineCrc>(model);
        config.record = [crc](std::string_view line) { return crc->withCrc(line); };
    }
    config.stopLetters = "K";
    config.successLetter = 'F';
    config.crcVerdict = "CRC Error!!";
    config.errorVerdict = "Error!!";
    // A LUT load has no abort sequence: a stop says why and clears nothing.
    config.abortSequence = false;
    return config;
}

SenderConfig lut::testSender(Crc16Model model)
{
    SenderConfig config = serialSender(false, model);
    config.kind = "test LUT";
    config.startCommands = {{"=F0100", true}};
    config.startPauseMs = 0;
    config.recordWait = Wait::None;
    config.recordPauseMs = kNewDelyMs;
    config.stopLetters.clear();
    config.stopWhen = [](std::string_view text) {
        return text.find('K') != std::string_view::npos || text.find("EX") != std::string_view::npos;
    };
    config.stopMessage = kTestStopMessage;
    config.successLetter.reset();
    config.noVerdict = "Sent (TEST LUT file waits for no reply and gives no verdict)";
    return config;
}

SenderConfig table::senderFor(const Layout& layout, bool overUsb)
{
    // The names' texts, not their addresses: a copy of a layout made in
    // another translation unit may point at its own copy of the literal.
    const std::string_view kind = layout.kind;
    if (kind == kRaw.kind) return overUsb ? raw::usbSender() : raw::serialSender();
    if (kind == kMultichirp.kind) return overUsb ? multichirp::usbSender() : multichirp::serialSender();
    return overUsb ? image::usbSender() : image::serialSender();
}

} // namespace plovan
