#include "usb_socket_protocol.h"

#include <QtEndian>

namespace plovan::sim::usbwire {

QByteArray encodeFrame(char type, const QByteArray& payload)
{
    QByteArray frame(kHeaderSize, Qt::Uninitialized);
    frame[0] = type;
    qToBigEndian(static_cast<quint32>(payload.size()), frame.data() + 1);
    frame.append(payload);
    return frame;
}

std::optional<Frame> takeFrame(QByteArray& buffer, bool& bad)
{
    bad = false;
    if (buffer.size() < kHeaderSize) return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(buffer.constData() + 1);
    if (length > static_cast<quint32>(kMaxPayload)) {
        bad = true;
        return std::nullopt;
    }
    if (buffer.size() < kHeaderSize + static_cast<qsizetype>(length)) return std::nullopt;
    Frame frame{buffer[0], buffer.mid(kHeaderSize, length)};
    buffer.remove(0, kHeaderSize + length);
    return frame;
}

QByteArray encodeAnswer(FtStatus status, const QList<QByteArray>& fields)
{
    QByteArray payload(1, static_cast<char>(statusCode(status)));
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) payload.append('\0');
        payload.append(fields[i]);
    }
    return payload;
}

std::optional<AnswerBody> decodeAnswer(const QByteArray& payload)
{
    if (payload.isEmpty()) return std::nullopt;
    AnswerBody body;
    switch (static_cast<FtStatus>(static_cast<unsigned char>(payload[0]))) {
    case FtStatus::Ok:
    case FtStatus::InvalidHandle:
    case FtStatus::DeviceNotFound:
    case FtStatus::DeviceNotOpened:
    case FtStatus::IoError:
    case FtStatus::InsufficientResources:
    case FtStatus::InvalidParameter:
    case FtStatus::OtherError:
        body.status = static_cast<FtStatus>(static_cast<unsigned char>(payload[0]));
        break;
    default: body.status = FtStatus::OtherError; break;
    }
    if (payload.size() > 1) body.fields = payload.mid(1).split('\0');
    return body;
}

} // namespace plovan::sim::usbwire

namespace plovan::sim {

QString simUsbSocketFor(const QString& ptyPath)
{
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty()) dir = QStringLiteral("/tmp");
    QString name = ptyPath;
    if (name.startsWith(QLatin1String("/dev/"))) name.remove(0, 5);
    while (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    return dir + QStringLiteral("/plovan-sim-usb-") + name;
}

} // namespace plovan::sim
