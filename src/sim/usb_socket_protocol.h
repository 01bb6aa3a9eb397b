// The simulated unit's USB device on a Unix stream socket: plovan-sim serves
// it (UsbSocketServer) beside its pseudo-terminal, SocketFtdiDevice is the
// client.
//
// Frames, both ways: a type byte, the payload length (4 bytes, big-endian,
// at most kMaxPayload), the payload.
//
// Requests (client to server), each answered by one 'A' frame, in order:
//   'L' list   payload empty        answer fields: count, description, serial
//                                   (description and serial empty when count is 0)
//   'O' open   the description     answer: status
//   'W' write  bytes for the unit   answer field: bytes written; sent once the unit
//                                   has taken them
//   'C' close  payload empty        answer: status
// Pushed by the server:
//   'D' data       reply bytes of the unit, to the client that has the device open,
//                  as they fall due (after the reply delay); may come between a
//                  request and its answer
//   'U' unplugged  the reason; the open session is over and the device is no
//                  longer listed
// An answer's payload is the status (one byte, the FtStatus code) followed by
// its fields, separated by NUL; a failing answer has one field, the reason.
// Numbers are decimal text.
//
// One client at a time has the device open; others may list meanwhile. A
// client that closes its connection closes the device; a frame the server
// does not expect ends that client's connection.
#pragma once

#include "ftdi_device.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace plovan::sim::usbwire {

enum FrameType : char {
    List = 'L',
    Open = 'O',
    Write = 'W',
    Close = 'C',
    Answer = 'A',
    Data = 'D',
    Unplugged = 'U',
};

inline constexpr qsizetype kHeaderSize = 5;
inline constexpr qsizetype kMaxPayload = 1 << 20;

struct Frame {
    char type = 0;
    QByteArray payload;
};

QByteArray encodeFrame(char type, const QByteArray& payload = {});
// Takes the first whole frame off `buffer`; empty while it is incomplete.
// `bad` is set when the buffer cannot start with a frame (length too large).
std::optional<Frame> takeFrame(QByteArray& buffer, bool& bad);

struct AnswerBody {
    FtStatus status = FtStatus::Ok;
    QList<QByteArray> fields;
};
QByteArray encodeAnswer(FtStatus status, const QList<QByteArray>& fields = {});
std::optional<AnswerBody> decodeAnswer(const QByteArray& payload);

} // namespace plovan::sim::usbwire

namespace plovan::sim {

// Where plovan-sim serves the USB face of the unit on `ptyPath`, so that a
// client finds it from the port alone: $XDG_RUNTIME_DIR (else /tmp) +
// "/plovan-sim-usb-" + the path without "/dev/", "/" made "-"
// ("/dev/pts/5" -> "/run/user/1000/plovan-sim-usb-pts-5").
QString simUsbSocketFor(const QString& ptyPath);

} // namespace plovan::sim
