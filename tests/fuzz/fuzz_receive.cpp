// The receive handling fed arbitrary byte streams, in chunks of the sizes
// the input's first bytes choose: the terminal text and its 2001-character
// rule, the reply flags and the reply lines.
#include "fake_backend.h"
#include "link.h"

#include <QCoreApplication>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_receive";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    if (size < 1) return 0;
    plovan::Link link;
    auto backend = std::make_unique<FakeBackend>();
    FakeBackend* fake = backend.get();
    link.setBackend(std::move(backend));
    link.openPort();
    std::size_t lines = 0;
    QObject::connect(&link, &plovan::Link::lineReceived, [&lines](const QString&) { ++lines; });
    const std::size_t chunk = 1 + data[0] % 64;
    for (std::size_t at = 1; at < size; at += chunk) {
        const std::size_t n = std::min(chunk, size - at);
        fake->deliverNow(QByteArray(reinterpret_cast<const char*>(data + at), qsizetype(n)));
        if (link.terminalText().size() > 2001 + qsizetype(chunk)) __builtin_trap();
    }
    link.closePort();
    return 0;
}
