// The table files the unit loads, one item per line: a header carrying the
// record count N, then N records of hex digits.
//   image (*.PLV)       count in the header's last four digits; records of 9 digits
//   raw (*.IRD)         count in the header's last four digits; records of 28 digits
//   multichirp (*.MCP)  count in the header's first three digits; records of 36 digits
// The image and raw headers reach the unit as their last five characters,
// the multichirp header whole. The senders pass the record digits through;
// the pre-flight check reads a whole file before anything is sent and says,
// line by line, what the unit would not get as the file means it.
#pragma once

#include "line_reader.h"

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plovan::table {

struct Layout {
    const char* kind;      // "image", "raw", "multichirp"
    const char* extension; // "plv", "ird", "mcp"
    bool countFirstThree;  // the count is in the first three digits, not the last four
    std::size_t recordDigits;
    bool headerLastFive; // the unit gets the header's last five characters
};
inline constexpr Layout kImage{"image", "plv", false, 9, true};
inline constexpr Layout kRaw{"raw", "ird", false, 28, true};
inline constexpr Layout kMultichirp{"multichirp", "mcp", true, 36, false};
inline constexpr Layout kLayouts[] = {kImage, kRaw, kMultichirp};

// The layout of a kind by its name, or of a file by its extension (any case).
std::optional<Layout> layoutNamed(std::string_view kind);
std::optional<Layout> layoutForPath(std::string_view path);

// N from the header; empty when its digits are not hex.
std::optional<std::size_t> recordCount(std::string_view header, const Layout& layout = kImage);
// The header as the unit gets it: for image and raw files left-padded with
// "0" to six characters and its last five; multichirp headers whole.
std::string headerLine(std::string_view header, const Layout& layout = kImage);

struct Finding {
    std::size_t line = 0; // 0: the file as a whole
    std::string message;
};

// The check of a whole file; no findings for a sound file. At most
// `maxRecordFindings` bad records are listed one by one, then counted.
std::vector<Finding> check(std::istream& in, const Layout& layout = kImage,
                           std::size_t maxRecordFindings = 10);

// The check of the file at `path`; empty, with `error` saying why, when it
// cannot be read or is refused (not a regular file, too large).
std::optional<std::vector<Finding>> checkFile(const std::string& path, const Layout& layout = kImage,
                                              std::string* error = nullptr);

// A calibration file as the LUT send takes it: every line is sent, each with
// the CRC of its first eight characters, whatever the unit's 256 rows.
inline constexpr std::size_t kLutRows = 256;
std::vector<Finding> checkLut(std::istream& in, std::size_t maxRowFindings = 10);
std::optional<std::vector<Finding>> checkLutFile(const std::string& path, std::string* error = nullptr);

// "line 3: ..." (or the message alone for the file as a whole).
std::string describe(const Finding& finding);

// What the USB route writes of a record line: the line and CR LF, cut to
// `bytes` (11 for image, 30 for raw, 38 for multichirp records).
std::string usbRecord(std::string_view line, std::size_t bytes);

} // namespace plovan::table

namespace plovan::image {

inline constexpr std::size_t kRecordDigits = 9;
inline constexpr std::size_t kUsbRecordBytes = 11;

// A record on the serial route: the last nine characters of "0" + the line.
std::string serialRecord(std::string_view line);

} // namespace plovan::image
