// The unit's fixed commands, each built in one place. Like the builders of
// command_line.h they return the command without `term`; the Link adds it.
// A builder with a `storeToFlash` argument has the store-to-flash form
// ("=a" + letter) that the chirp procedures and the "U" button use while
// "Save to DDS" is ticked (pass Link::saveToDds); the others are always
// written plain. The simulated unit decodes by the same letters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plovan::cmd {

// --- command letters (after "=" or "=a") ---
inline constexpr char kStoreMark = 'a';         // between "=" and the letter: store to flash
inline constexpr char kControlLetter = 'E';     // control byte write
inline constexpr char kControlReadLetter = 'e'; // control byte read-back
inline constexpr char kTriggerLetter = 'I';
inline constexpr char kUpdateLetter = 'U';
inline constexpr char kClearLetter = 'C';
inline constexpr char kStartLetter = 'G';
inline constexpr char kResetLetter = 'R';
inline constexpr char kLinkStartLetter = 'r';
inline constexpr char kLinkSetupLetter = 'p';
inline constexpr char kClockWordLetter = 'K';
inline constexpr char kClockRunLetter = 'k';
inline constexpr char kImageLoadLetter = 'L';
inline constexpr char kRawLoadLetter = 'Q';
inline constexpr char kLutLoadLetter = 'F';
inline constexpr char kClearFlashLetter = 'b';
inline constexpr char kStatusLetter = 'v';
inline constexpr char kDaValueLetter = 'Y';
inline constexpr char kWriteModeLetter = 'W';
inline constexpr char kTestPatternLetter = 'm';
inline constexpr char kOutputPortLetter = 'o';
inline constexpr char kMemoryFillLetter = 'z';
// "=AV": the analogue read is the one command of two letters.
inline constexpr std::string_view kAnalogueRead = "AV";

// --- control byte values ("=E" + two hex digits) ---
inline constexpr std::uint8_t kControlRfOn = 0x0F;  // "Toggle Laser/RF" to on
inline constexpr std::uint8_t kControlRfOff = 0x0C; // to off; also what ends every update sequence
inline constexpr std::uint8_t kControlIntClock = 0x03;
inline constexpr std::uint8_t kControlExtEnable = 0xC3;
inline constexpr std::uint8_t kControlLoopBit =
    0x40; // follows "Loop" (set for Int Clock, cleared for Ext Enable)
inline constexpr std::uint8_t kControlReadback = 0x0B;
inline constexpr std::uint8_t kControlMultichirp = 0x2C; // arms the next "=L" as a multichirp load
// Set in the chirp's status byte (StatuZ: 20 hex and its laser, RF and trigger bits).
inline constexpr std::uint8_t kControlChirpBit = 0x20;

// Lines of a LUT load ("=F0100").
inline constexpr std::uint16_t kLutLines = 0x100;

std::string rfOn();                                   // "=E0F"
std::string rfOff();                                  // "=E0C"
std::string controlIntClock(bool loop);               // "=E03", with "Loop" "=E43"
std::string controlExtEnable(bool loop);              // "=EC3", with "Loop" "=E83"
std::string controlReadback();                        // "=E0B"
std::string controlMultichirp();                      // "=E2C"
std::string readControl();                            // "=e"
std::string trigger();                                // "=I"
std::string update(bool storeToFlash = false);        // "=U" / "=aU"
std::string clear(bool storeToFlash = false);         // "=C" / "=aC"
std::string start();                                  // "=G", external enable
std::string reset();                                  // "=R"
std::string linkStart(bool storeToFlash = false);     // "=r" / "=ar", first of every connect
std::string linkSetup();                              // "=p"
std::string connectRegisterWrite();                   // "=D00DF", in both connect sequences
std::string clockWord(std::string_view word);         // "=K" + four hex digits
std::string clockRun();                               // "=k"
std::string imageLoad();                              // "=L", also the second start of a multichirp load
std::string rawLoad();                                // "=Q"
std::string lutLoad(std::uint16_t lines = kLutLines); // "=F0100"
std::string clearFlash();                             // "=b"
std::string readAnalogue();                           // "=AV"
std::string readStatus();                             // "=v", also the USB test command
std::string daValue(std::uint16_t value);             // "=Y" + three hex digits
std::string writeMode(bool on);                       // "=W1" / "=W0"
std::string testPattern(std::uint8_t value);          // "=m" + two hex digits
std::string outputPort(std::uint8_t value);           // "=o" + two hex digits (LEDs)
std::string memoryFill(std::uint8_t value);           // "=z" + two hex digits
// The test panel's single-letter tests "=i", "=n", "=T".
enum class Test : char { I = 'i', N = 'n', T = 'T' };
std::string test(Test which);

} // namespace plovan::cmd
