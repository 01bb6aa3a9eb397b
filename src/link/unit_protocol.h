// What the unit sends back, defined once for the program and the simulated
// unit alike.
//
// Every command is acknowledged by "@". A read-back command ("=e", "=d" +
// address, "=v", "=AV") is acknowledged first and then answered by one text
// line ended by CR LF:
//   "=e", "=dAA"  "@" + two hex digits + CR LF           e.g. "@0C\r\n"
//   "=v"          "@" + status text + CR LF
//   "=AV"         "@" + eight fields of a separator and three hex digits
//                 (Fwd4 Rev4 Fwd3 Rev3 Fwd2 Rev2 Fwd1 Rev1) + CR LF; the
//                 line is 34 characters with its CR LF.
// File loads answer with single letters: "C" line taken, "K" CRC error,
// "E" file too big, "L"/"Q"/"F" load finished.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plovan::unit {

inline constexpr char kAck = '@';
inline constexpr char kLineTaken = 'C';
inline constexpr char kCrcError = 'K';
inline constexpr char kTooBig = 'E';
inline constexpr char kImageDone = 'L';
inline constexpr char kRawDone = 'Q';
inline constexpr char kLutDone = 'F';

// What a received character says to the program's receive handling. The
// letters are case-sensitive except "c"/"C" and "k"/"K": "e" and "l" say nothing.
enum class ReplyLetter { None, Ack, LineTaken, CrcError, TooBig, ImageDone };
constexpr ReplyLetter replyLetter(char c)
{
    switch (c) {
    case kAck: return ReplyLetter::Ack;
    case 'c':
    case kLineTaken: return ReplyLetter::LineTaken;
    case 'k':
    case kCrcError: return ReplyLetter::CrcError;
    case kTooBig: return ReplyLetter::TooBig;
    case kImageDone: return ReplyLetter::ImageDone;
    default: return ReplyLetter::None;
    }
}

// Separator in front of each "=AV" field.
inline constexpr char kAnalogueSeparator = ' ';
inline constexpr std::size_t kAnalogueFields = 8;
inline constexpr std::size_t kAnalogueLineLength = 34; // with CR LF
using AnalogueReading = std::array<std::uint16_t, kAnalogueFields>;

// The text line the unit sends after "@" (CR LF included).
std::string byteReadbackLine(std::uint8_t value);
std::string analogueLine(const AnalogueReading& values);
std::string statusLine(std::string_view status);

// Parsers take one received line, with or without its CR LF, and accept
// surrounding noise: leading garbage and blanks are skipped.
std::optional<std::uint8_t> parseByteReadback(std::string_view line);
std::optional<AnalogueReading> parseAnalogue(std::string_view line);

// The control byte's digits as they stand in the terminal text after an
// "=e": the fourth- and third-last characters (the CR LF ends the text).
// Empty when the text is too short; the digits themselves are not checked.
std::optional<std::string> controlByteDigitsFromTerminal(std::string_view terminal);

} // namespace plovan::unit
