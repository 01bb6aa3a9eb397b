// The transfer engine driven by arbitrary input: the first byte picks the
// sender, the next two how much of the rest is the file; the remainder are
// the unit's replies, fed in small pieces, with every pause and time-out
// fired as the engine asks for them. The send must always end.
#include "table_send.h"

#include <cstdint>
#include <sstream>
#include <string>

namespace {

plovan::SenderConfig senderFor(std::uint8_t pick)
{
    switch (pick % 8) {
    case 0: return plovan::image::serialSender();
    case 1: return plovan::image::usbSender();
    case 2: return plovan::image::usbTestSender();
    case 3: return plovan::raw::serialSender();
    case 4: return plovan::multichirp::serialSender();
    case 5: return plovan::multichirp::usbSender();
    case 6: return plovan::lut::serialSender(false);
    default: return plovan::lut::testSender();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return 0;
    const std::size_t fileSize = std::min<std::size_t>(size - 3, (std::size_t(data[1]) << 8) | data[2]);
    std::istringstream file(std::string(reinterpret_cast<const char*>(data + 3), fileSize));
    const char* replies = reinterpret_cast<const char*>(data + 3 + fileSize);
    std::size_t left = size - 3 - fileSize;

    bool pausePending = false, timerRunning = false, finished = false;
    plovan::TransferEngine::Hooks hooks;
    // Every ninth byte of the pick fails writes, as a USB device that went away.
    const bool writesFail = data[0] % 9 == 8;
    std::int64_t clock = 0;
    hooks.write = [&](const std::string&) { return std::string(writesFail ? "gone" : ""); };
    hooks.writeBytes = [&](const std::string&) { return std::string(writesFail ? "gone" : ""); };
    hooks.now = [&] { return clock += 7; };
    hooks.pause = [&](int) { pausePending = true; };
    hooks.replyTimer = [&](bool run) { timerRunning = run; };
    hooks.message = [](const std::string&) {};
    hooks.progress = [](std::size_t done, std::size_t total) {
        if (done > total) __builtin_trap();
    };
    hooks.finished = [&](plovan::TransferOutcome) { finished = true; };
    plovan::TransferEngine engine(senderFor(data[0]), hooks);
    engine.setTestMode(data[0] & 0x80);
    engine.start(file);

    // Every step either consumes input or ends a wait, so the loop ends; the
    // bound only guards against a fault that would make it spin.
    for (std::size_t steps = 0; engine.running() && steps < 1000000; ++steps) {
        if (left > 0 && (steps % 3 != 0 || !pausePending)) {
            const std::size_t n = std::min<std::size_t>(left, 1 + std::size_t(replies[0]) % 4);
            engine.received(std::string_view(replies, n));
            replies += n;
            left -= n;
        }
        else if (pausePending) {
            pausePending = false;
            engine.pauseDone();
        }
        else if (timerRunning) {
            timerRunning = false;
            engine.replyTimedOut();
        }
        else {
            engine.cancel();
            if (!pausePending && engine.running()) engine.connectionLost();
        }
    }
    if (engine.running() || !finished) __builtin_trap();
    return 0;
}
