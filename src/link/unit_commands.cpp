#include "unit_commands.h"

#include "command_line.h"
#include "hex_text.h"

namespace plovan::cmd {

namespace {

std::string plain(char letter, std::string_view args = {})
{
    return std::string{'=', letter} + std::string(args);
}

std::string stored(bool storeToFlash, char letter)
{
    return storeToFlash ? std::string{'=', kStoreMark, letter} : plain(letter);
}

} // namespace

std::string rfOn()
{
    return controlByteWrite(false, kControlRfOn);
}

std::string rfOff()
{
    return controlByteWrite(false, kControlRfOff);
}

std::string controlIntClock(bool loop)
{
    return controlByteWrite(
        false, static_cast<std::uint8_t>(loop ? kControlIntClock | kControlLoopBit : kControlIntClock));
}

std::string controlExtEnable(bool loop)
{
    return controlByteWrite(
        false, static_cast<std::uint8_t>(loop ? kControlExtEnable & ~kControlLoopBit : kControlExtEnable));
}

std::string controlReadback()
{
    return controlByteWrite(false, kControlReadback);
}

std::string controlMultichirp()
{
    return controlByteWrite(false, kControlMultichirp);
}

std::string readControl()
{
    return plain(kControlReadLetter);
}

std::string trigger()
{
    return plain(kTriggerLetter);
}

std::string update(bool storeToFlash)
{
    return stored(storeToFlash, kUpdateLetter);
}

std::string clear(bool storeToFlash)
{
    return stored(storeToFlash, kClearLetter);
}

std::string start()
{
    return plain(kStartLetter);
}

std::string reset()
{
    return plain(kResetLetter);
}

std::string linkStart(bool storeToFlash)
{
    return stored(storeToFlash, kLinkStartLetter);
}

std::string linkSetup()
{
    return plain(kLinkSetupLetter);
}

std::string connectRegisterWrite()
{
    return registerWrite(kRegisterHead, 0x00, 0xDF);
}

std::string clockWord(std::string_view word)
{
    return plain(kClockWordLetter, word);
}

std::string clockRun()
{
    return plain(kClockRunLetter);
}

std::string imageLoad()
{
    return plain(kImageLoadLetter);
}

std::string rawLoad()
{
    return plain(kRawLoadLetter);
}

std::string lutLoad(std::uint16_t lines)
{
    return plain(kLutLoadLetter, hexField(lines, 4));
}

std::string clearFlash()
{
    return plain(kClearFlashLetter);
}

std::string readAnalogue()
{
    return "=" + std::string(kAnalogueRead);
}

std::string readStatus()
{
    return plain(kStatusLetter);
}

std::string daValue(std::uint16_t value)
{
    return plain(kDaValueLetter, hexField(value & 0xFFFu, 3));
}

std::string writeMode(bool on)
{
    return plain(kWriteModeLetter, on ? "1" : "0");
}

std::string testPattern(std::uint8_t value)
{
    return plain(kTestPatternLetter, hexField(value, 2));
}

std::string outputPort(std::uint8_t value)
{
    return plain(kOutputPortLetter, hexField(value, 2));
}

std::string memoryFill(std::uint8_t value)
{
    return plain(kMemoryFillLetter, hexField(value, 2));
}

std::string test(Test which)
{
    return plain(static_cast<char>(which));
}

} // namespace plovan::cmd
