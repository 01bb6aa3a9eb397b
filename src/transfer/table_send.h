// The table sends as configurations of the transfer engine.
//   image       "=L", the header's last five characters, records of nine
//               digits each waiting for "C", success letter "L"
//   raw         "=Q", the header's last five characters and a wait for its
//               "C", whole records each waiting for "C", success letter "Q"
//   multichirp  "=E2C" and "=L" each acknowledged with an empty line
//               between, the whole header, whole records each waiting for
//               "@" and a pause; no verdict letters: a record not
//               acknowledged in time is counted and the send goes on
//   LUT         "=F0100", 0.2 s, then every line of a calibration file with
//               the CRC of its first four bytes, each waiting for "C",
//               success letter "F"; nothing clears the unit after a stop
// On the USB route records go out as fixed byte counts (11, 30, 38), a
// millisecond apart, without waiting for their replies; the replies are read
// as they come, so the unit's letters stop the records and give the serial
// route's verdict (image and raw). The multichirp send's preamble and header
// still go over the serial port.
#pragma once

#include "crc16.h"
#include "table_file.h"
#include "transfer_engine.h"

#include <array>
#include <cstdint>

namespace plovan::image {

SenderConfig serialSender();
SenderConfig usbSender();
// The USB bench test (Command57): records as on the serial route, with their
// line end and no pause, each awaiting its reply as on the serial route.
SenderConfig usbTestSender();

} // namespace plovan::image

namespace plovan::raw {

inline constexpr std::size_t kUsbRecordBytes = 30;
SenderConfig serialSender();
SenderConfig usbSender();

} // namespace plovan::raw

namespace plovan::multichirp {

inline constexpr std::size_t kUsbRecordBytes = 38;
SenderConfig serialSender();
SenderConfig usbSender();

} // namespace plovan::multichirp

namespace plovan::lut {

inline constexpr std::size_t kLines = 256; // the progress bar's end; longer files are sent whole
inline constexpr int kNewDelyMs = 200;     // the pause "Save to DDS" asks for

// A LUT line as sent: the line and the CRC, four hex digits, of the bytes
// of its first eight characters. A pair that is not hex leaves the byte as
// the line before left it; a missing pair is 0.
class LineCrc {
public:
    explicit LineCrc(Crc16Model model = kUnitLineCrc) : model_(model) {}
    std::string withCrc(std::string_view line);

private:
    Crc16Model model_;
    std::array<std::uint8_t, 4> bytes_{};
};

// "Send LUT"; with `skipCrc` ("Skip CRC") the lines go as they are.
SenderConfig serialSender(bool skipCrc, Crc16Model model = kUnitLineCrc);
// "TEST LUT file": after the acknowledged "=F0100", every line with its CRC
// 0.2 s apart, no reply awaited and no verdict; a "K" or "EX" among the
// replies stops it with "PLOVAN Detected a CRC Error. File load aborted".
SenderConfig testSender(Crc16Model model = kUnitLineCrc);
inline constexpr char kTestFile[] = "0 thisone.cal";
inline constexpr char kTestStopMessage[] = "PLOVAN Detected a CRC Error. File load aborted";

} // namespace plovan::lut

namespace plovan::table {

// The serial or USB sender of a kind of table file.
SenderConfig senderFor(const Layout& layout, bool overUsb);

} // namespace plovan::table
