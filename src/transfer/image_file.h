// Device image files (*.PLV): a header line whose last four characters are
// the record count N in hex, then N records of nine hex digits. The sender
// passes the digits through; these functions make the lines it writes, and
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

namespace plovan::image {

inline constexpr std::size_t kRecordDigits = 9;
// What the USB route writes of each record line: nine digits and CR LF.
inline constexpr std::size_t kUsbRecordBytes = 11;

// N from the header's last four characters; empty when they are not hex.
std::optional<std::size_t> recordCount(std::string_view header);
// The header as the unit gets it: left-padded with "0" to six characters, its last five.
std::string headerLine(std::string_view header);
// A record on the serial route: the last nine characters of "0" + the line.
std::string serialRecord(std::string_view line);
// A record on the USB route: the first eleven bytes of the line + CR LF.
std::string usbRecord(std::string_view line);

struct Finding {
    std::size_t line = 0; // 0: the file as a whole
    std::string message;
};

// The check of a whole image file; no findings for a sound file. At most
// `maxRecordFindings` bad records are listed one by one, then counted.
std::vector<Finding> check(std::istream& in, std::size_t maxRecordFindings = 10);

// The check of the file at `path`; empty when it cannot be read.
std::optional<std::vector<Finding>> checkFile(const std::string& path);

// "line 3: ..." (or the message alone for the file as a whole).
std::string describe(const Finding& finding);

} // namespace plovan::image
