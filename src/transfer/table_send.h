// The table sends as configurations of the transfer engine.
//   image       "=L", the header's last five characters, records of nine
//               digits each waiting for "C", success letter "L"
//   raw         "=Q", the header's last five characters and a wait for its
//               "C", whole records each waiting for "C", success letter "Q"
//   multichirp  "=E2C" and "=L" each acknowledged with an empty line
//               between, the whole header, whole records each waiting for
//               "@" and a pause; no verdict
// On the USB route records go out as fixed byte counts (11, 30, 38), a
// millisecond apart, without replies and without a verdict; the multichirp
// send's preamble and header still go over the serial port.
#pragma once

#include "table_file.h"
#include "transfer_engine.h"

namespace plovan::image {

SenderConfig serialSender();
SenderConfig usbSender();
// The USB bench test (Command57): records as on the serial route, with their
// line end and no pause, each reply read by the runner after its write.
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

namespace plovan::table {

// The serial or USB sender of a kind of table file.
SenderConfig senderFor(const Layout& layout, bool overUsb);

} // namespace plovan::table
