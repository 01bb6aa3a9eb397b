// What a remote client sends: framed into messages in pieces of varying
// size, each message parsed against the server's node table.
#include "remote_server.h"
#include "scpi_parser.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto& nodes = plovan::remote::nodes();
    plovan::scpi::Framer framer;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        for (const auto& message : framer.feed(bytes.substr(at, piece))) {
            if (message.text.size() > plovan::scpi::Framer::kMaxLine + plovan::scpi::Framer::kMaxBlock)
                __builtin_trap();
            const auto parsed = plovan::scpi::parse(message.text, nodes);
            for (const auto& command : parsed.commands)
                if (command.node < 0 || std::size_t(command.node) >= nodes.size()) __builtin_trap();
            for (char c : plovan::scpi::errorReply(parsed.error))
                if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
        }
    }
    return 0;
}
