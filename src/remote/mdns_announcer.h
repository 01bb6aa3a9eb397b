// The server found on the network the way instruments are: announced as a
// "_scpi-raw._tcp" service through the system's Avahi daemon, so mDNS
// browsers (lxi discover --mdns, avahi-browse) list every unit's server.
// The Avahi client library is loaded when the first announcement is made;
// without it, or without a running daemon, nothing is announced and nothing
// is said. A daemon that starts later is found then.
#pragma once

#include <QHostAddress>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plovan::remote {

inline constexpr char kScpiServiceType[] = "_scpi-raw._tcp";

struct Announcement {
    std::string name; // the instance: "Plovan /dev/ttyUSB0 on lab-pc", at most 63 bytes
    std::string type = kScpiServiceType;
    quint16 port = 0;
    std::vector<std::string> txt; // "key=value"
    bool operator==(const Announcement&) const = default;
};

// What a server listening on `address`:`port` for `unit` (the port's
// device, or "simulated unit") on `host` announces; nothing for a loopback
// address, which no other machine can reach.
std::optional<Announcement> announcementFor(const QHostAddress& address, quint16 port, const QString& unit,
                                            const QString& host);

class MdnsAnnouncer {
public:
    MdnsAnnouncer();
    ~MdnsAnnouncer();
    MdnsAnnouncer(const MdnsAnnouncer&) = delete;
    MdnsAnnouncer& operator=(const MdnsAnnouncer&) = delete;

    // Announces `a` (replacing what was announced) as soon as a daemon runs.
    void publish(const Announcement& a);
    void withdraw();

    struct Avahi;

private:
    std::unique_ptr<Avahi> avahi_;
};

} // namespace plovan::remote
