// A port whose replies a test scripts: every write is recorded, and the
// responder's answer arrives later through the event loop, as from a real port.
// With `answersAtOnce`, the answer instead waits in the driver, so to speak,
// for the Link's receiveNow(), as a fast serial line's does.
#pragma once

#include "port_backend.h"

#include <QByteArrayList>
#include <QTimer>
#include <functional>
#include <utility>

class FakeBackend : public plovan::PortBackend {
    Q_OBJECT
public:
    using Responder = std::function<QByteArray(const QByteArray& written)>;

    plovan::OpenResult open() override
    {
        if (failOpen) return plovan::OpenResult::failed(errorString());
        open_ = true;
        return plovan::OpenResult::opened();
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool writeText(const QByteArray& bytes) override
    {
        if (!open_) return false;
        written.append(bytes);
        if (!responder) return true;
        if (answersAtOnce)
            waiting_ += responder(bytes);
        else
            deliverLater(responder(bytes), replyDelayMs);
        return true;
    }
    bool receiveNow(int /*maxWaitMs*/) override
    {
        if (waiting_.isEmpty()) return false;
        deliverNow(std::exchange(waiting_, {}));
        return true;
    }
    QString errorString() const override { return QStringLiteral("fake failure"); }
    QString description() const override { return QStringLiteral("fake port"); }

    // Bytes arriving from the unit, handed over after `delayMs`.
    void deliverLater(const QByteArray& bytes, int delayMs = 0)
    {
        if (bytes.isEmpty()) return;
        QTimer::singleShot(delayMs, this, [this, bytes] { deliverNow(bytes); });
    }
    void deliverNow(const QByteArray& bytes) { emit bytesReceived(bytes); }
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
    bool answersAtOnce = false;

private:
    bool open_ = false;
    QByteArray waiting_;
};

// Answers "@" to every line, as a silent-but-healthy unit does.
inline QByteArray ackEveryLine(const QByteArray& written)
{
    return written.endsWith('\n') ? QByteArray("@") : QByteArray();
}
