// A USB device whose answers a test scripts: each operation's status, the
// listing, and the reply the unit sends to each write. Writes are recorded;
// replies become readable at once, or only their first `replyBytesLimit`
// bytes ever do (a reply that stops short).
#pragma once

#include "ftdi_device.h"

#include <QByteArrayList>
#include <deque>
#include <functional>
#include <optional>

class FakeFtdiDevice : public plovan::FtdiDevice {
public:
    using FtStatus = plovan::FtStatus;
    using Responder = std::function<QByteArray(const QByteArray& written)>;

    FtStatus countDevices(int& count) override
    {
        count = deviceCount;
        return countStatus;
    }
    FtStatus description(int index, QString& text) override
    {
        ++descriptionCalls;
        if (!descriptions.empty()) {
            const std::optional<QString> answer = descriptions.front();
            descriptions.pop_front();
            if (!answer) return fail(FtStatus::DeviceNotFound, reason);
            text = *answer;
            return FtStatus::Ok;
        }
        if (index >= deviceCount || listStatus != FtStatus::Ok)
            return fail(listStatus == FtStatus::Ok ? FtStatus::DeviceNotFound : listStatus, reason);
        text = deviceDescription;
        return FtStatus::Ok;
    }
    FtStatus serialNumber(int index, QString& text) override
    {
        if (index >= deviceCount || listStatus != FtStatus::Ok)
            return fail(listStatus == FtStatus::Ok ? FtStatus::DeviceNotFound : listStatus, reason);
        text = serial;
        return FtStatus::Ok;
    }
    QString name() const override { return QStringLiteral("fake USB device"); }

    // --- the script ---
    int deviceCount = 1;
    QString deviceDescription = QStringLiteral("Plovan RF");
    QString serial = QStringLiteral("FT000042");
    std::deque<std::optional<QString>> descriptions; // answered in turn first; nullopt fails
    FtStatus countStatus = FtStatus::Ok;
    FtStatus listStatus = FtStatus::Ok;
    FtStatus openStatus = FtStatus::Ok;
    FtStatus writeStatus = FtStatus::Ok;
    FtStatus fetchStatus = FtStatus::Ok; // DeviceNotFound: unplugged
    QString reason = QStringLiteral("scripted failure");
    Responder responder;
    qint64 replyBytesLimit = -1; // -1: replies arrive whole

    // --- what happened ---
    QByteArrayList writes;
    QStringList openedWith;
    int opens = 0;
    int closes = 0;
    int descriptionCalls = 0;

    void arrive(const QByteArray& bytes)
    {
        QByteArray b = bytes;
        if (replyBytesLimit >= 0) {
            b = b.left(std::max<qint64>(0, replyBytesLimit - delivered_));
            delivered_ += b.size();
        }
        pending_ += b;
    }

protected:
    FtStatus openDevice(const QString& description) override
    {
        openedWith << description;
        if (openStatus != FtStatus::Ok) return fail(openStatus, reason);
        if (deviceCount == 0 || description != deviceDescription)
            return fail(FtStatus::DeviceNotFound, QStringLiteral("no device called \"%1\"").arg(description));
        ++opens;
        return FtStatus::Ok;
    }
    FtStatus writeDevice(const QByteArray& bytes, qint64& written) override
    {
        if (writeStatus != FtStatus::Ok) return fail(writeStatus, reason);
        writes << bytes;
        written = bytes.size();
        if (responder) arrive(responder(bytes));
        return FtStatus::Ok;
    }
    FtStatus closeDevice() override
    {
        ++closes;
        pending_.clear();
        return FtStatus::Ok;
    }
    FtStatus fetch(QByteArray& into) override
    {
        if (fetchStatus != FtStatus::Ok) return fail(fetchStatus, reason);
        into += pending_;
        pending_.clear();
        return FtStatus::Ok;
    }

private:
    QByteArray pending_;
    qint64 delivered_ = 0;
};
