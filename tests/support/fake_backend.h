// A port whose replies a test scripts: every write is recorded, and the
// responder's answer arrives later through the event loop, as from a real port.
#pragma once

#include "port_backend.h"

#include <QByteArrayList>
#include <QTimer>
#include <functional>

class FakeBackend : public plovan::PortBackend {
    Q_OBJECT
public:
    using Responder = std::function<QByteArray(const QByteArray& written)>;

    int open() override
    {
        if (failOpen) return 0;
        open_ = true;
        return 1;
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool writeText(const QByteArray& bytes) override
    {
        if (!open_) return false;
        written.append(bytes);
        if (responder) deliverLater(responder(bytes), replyDelayMs);
        return true;
    }
    qint64 bytesWaiting() const override { return inbox_.size(); }
    int readByte() override
    {
        if (inbox_.isEmpty()) return -1;
        const int b = static_cast<unsigned char>(inbox_.front());
        inbox_.remove(0, 1);
        return b;
    }
    QString errorString() const override { return QStringLiteral("fake failure"); }
    QString description() const override { return QStringLiteral("fake port"); }

    // Bytes arriving from the unit, handed over after `delayMs`.
    void deliverLater(const QByteArray& bytes, int delayMs = 0)
    {
        if (bytes.isEmpty()) return;
        QTimer::singleShot(delayMs, this, [this, bytes] { deliverNow(bytes); });
    }
    void deliverNow(const QByteArray& bytes)
    {
        inbox_.append(bytes);
        emit dataReceived();
    }
    void hangUp()
    {
        open_ = false;
        emit connectionLost(QStringLiteral("hang-up"));
    }

    // Lines written, without their CR LF.
    QStringList lines() const
    {
        QStringList out;
        for (const QByteArray& w : written)
            out << QString::fromLatin1(w).remove(QStringLiteral("\r\n"));
        return out;
    }

    QByteArrayList written;
    Responder responder;
    int replyDelayMs = 0;
    bool failOpen = false;

private:
    bool open_ = false;
    QByteArray inbox_;
};

// Answers "@" to every line, as a silent-but-healthy unit does.
inline QByteArray ackEveryLine(const QByteArray& written)
{
    return written.endsWith('\n') ? QByteArray("@") : QByteArray();
}
