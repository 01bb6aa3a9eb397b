#include "mdns_announcer.h"

#include "usb_route.h" // kPlovanVersion

#include <QByteArray>

#ifdef PLOVAN_WITH_AVAHI
#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>
#include <dlfcn.h>
#include <mutex>
#endif

namespace plovan::remote {

std::optional<Announcement> announcementFor(const QHostAddress& address, quint16 port, const QString& unit,
                                            const QString& host)
{
    if (address.isLoopback()) return std::nullopt;
    Announcement a;
    // Service instance names are at most 63 bytes of UTF-8: cut whole characters.
    QString name = QStringLiteral("Plovan %1 on %2").arg(unit, host);
    while (name.toUtf8().size() > 63)
        name.chop(1);
    a.name = name.toUtf8().toStdString();
    a.port = port;
    a.txt = {"txtvers=1", "manufacturer=Velmar", "model=Plovan",
             std::string("version=") + kPlovanVersion, "unit=" + unit.toStdString()};
    return a;
}

#ifdef PLOVAN_WITH_AVAHI

namespace {

// The library's functions, looked up by name so that a machine without it
// still runs the server.
struct AvahiLibrary {
    void* client = nullptr;
    void* common = nullptr;
#define PLOVAN_AVAHI(f) decltype(&::f) f = nullptr
    PLOVAN_AVAHI(avahi_threaded_poll_new);
    PLOVAN_AVAHI(avahi_threaded_poll_get);
    PLOVAN_AVAHI(avahi_threaded_poll_start);
    PLOVAN_AVAHI(avahi_threaded_poll_stop);
    PLOVAN_AVAHI(avahi_threaded_poll_free);
    PLOVAN_AVAHI(avahi_threaded_poll_lock);
    PLOVAN_AVAHI(avahi_threaded_poll_unlock);
    PLOVAN_AVAHI(avahi_alternative_service_name);
    PLOVAN_AVAHI(avahi_free);
    PLOVAN_AVAHI(avahi_string_list_add);
    PLOVAN_AVAHI(avahi_string_list_free);
    PLOVAN_AVAHI(avahi_client_new);
    PLOVAN_AVAHI(avahi_client_free);
    PLOVAN_AVAHI(avahi_client_get_state);
    PLOVAN_AVAHI(avahi_client_errno);
    PLOVAN_AVAHI(avahi_entry_group_new);
    PLOVAN_AVAHI(avahi_entry_group_add_service_strlst);
    PLOVAN_AVAHI(avahi_entry_group_commit);
    PLOVAN_AVAHI(avahi_entry_group_reset);
    PLOVAN_AVAHI(avahi_entry_group_get_client);
#undef PLOVAN_AVAHI

    bool load()
    {
        common = dlopen("libavahi-common.so.3", RTLD_NOW | RTLD_LOCAL);
        client = common ? dlopen("libavahi-client.so.3", RTLD_NOW | RTLD_LOCAL) : nullptr;
        if (!client) return false;
        bool all = true;
        const auto find = [&](void* library, auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
            all = all && function;
        };
#define PLOVAN_FIND(library, f) find(library, f, #f)
        PLOVAN_FIND(common, avahi_threaded_poll_new);
        PLOVAN_FIND(common, avahi_threaded_poll_get);
        PLOVAN_FIND(common, avahi_threaded_poll_start);
        PLOVAN_FIND(common, avahi_threaded_poll_stop);
        PLOVAN_FIND(common, avahi_threaded_poll_free);
        PLOVAN_FIND(common, avahi_threaded_poll_lock);
        PLOVAN_FIND(common, avahi_threaded_poll_unlock);
        PLOVAN_FIND(common, avahi_alternative_service_name);
        PLOVAN_FIND(common, avahi_free);
        PLOVAN_FIND(common, avahi_string_list_add);
        PLOVAN_FIND(common, avahi_string_list_free);
        PLOVAN_FIND(client, avahi_client_new);
        PLOVAN_FIND(client, avahi_client_free);
        PLOVAN_FIND(client, avahi_client_get_state);
        PLOVAN_FIND(client, avahi_client_errno);
        PLOVAN_FIND(client, avahi_entry_group_new);
        PLOVAN_FIND(client, avahi_entry_group_add_service_strlst);
        PLOVAN_FIND(client, avahi_entry_group_commit);
        PLOVAN_FIND(client, avahi_entry_group_reset);
        PLOVAN_FIND(client, avahi_entry_group_get_client);
#undef PLOVAN_FIND
        return all;
    }
};

// Loaded once and kept: the library is never unloaded under a running thread.
AvahiLibrary* library()
{
    static AvahiLibrary* loaded = [] {
        auto* l = new AvahiLibrary;
        if (l->load()) return l;
        delete l;
        return static_cast<AvahiLibrary*>(nullptr);
    }();
    return loaded;
}

} // namespace

// The client runs on Avahi's own thread; its callbacks come there, and the
// owner's calls take the poll's lock.
struct MdnsAnnouncer::Avahi {
    AvahiLibrary& lib;
    AvahiThreadedPoll* poll = nullptr;
    AvahiClient* client = nullptr;
    AvahiEntryGroup* group = nullptr;
    std::optional<Announcement> wanted;
    std::string name; // the name in use: the announcement's, or its alternative after a collision

    explicit Avahi(AvahiLibrary& l) : lib(l) {}

    static void clientChanged(AvahiClient* c, AvahiClientState state, void* self)
    {
        auto* a = static_cast<Avahi*>(self);
        if (state == AVAHI_CLIENT_S_RUNNING) {
            a->register_(c);
        }
        else if (state == AVAHI_CLIENT_S_COLLISION || state == AVAHI_CLIENT_S_REGISTERING) {
            if (a->group) a->lib.avahi_entry_group_reset(a->group);
        }
        else if (state == AVAHI_CLIENT_FAILURE) {
            // The daemon went away: start over, waiting for it to return.
            if (a->client != c) return; // still inside avahi_client_new
            a->group = nullptr;
            a->lib.avahi_client_free(c);
            a->client = nullptr;
            a->connect();
        }
    }

    static void groupChanged(AvahiEntryGroup* g, AvahiEntryGroupState state, void* self)
    {
        auto* a = static_cast<Avahi*>(self);
        if (state != AVAHI_ENTRY_GROUP_COLLISION) return;
        // Another server took the name: take the next one ("... #2").
        char* next = a->lib.avahi_alternative_service_name(a->name.c_str());
        a->name = next;
        a->lib.avahi_free(next);
        a->lib.avahi_entry_group_reset(g);
        a->register_(a->lib.avahi_entry_group_get_client(g));
    }

    void connect()
    {
        int error = 0;
        client = lib.avahi_client_new(lib.avahi_threaded_poll_get(poll), AVAHI_CLIENT_NO_FAIL, clientChanged,
                                      this, &error);
    }

    void register_(AvahiClient* c)
    {
        if (!wanted || lib.avahi_client_get_state(c) != AVAHI_CLIENT_S_RUNNING) return;
        if (!group) group = lib.avahi_entry_group_new(c, groupChanged, this);
        if (!group) return;
        AvahiStringList* txt = nullptr;
        for (const std::string& item : wanted->txt)
            txt = lib.avahi_string_list_add(txt, item.c_str());
        const int added = lib.avahi_entry_group_add_service_strlst(
            group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), name.c_str(), wanted->type.c_str(),
            nullptr, nullptr, wanted->port, txt);
        lib.avahi_string_list_free(txt);
        if (added == AVAHI_ERR_COLLISION) {
            char* next = lib.avahi_alternative_service_name(name.c_str());
            name = next;
            lib.avahi_free(next);
            register_(c);
            return;
        }
        if (added == 0) lib.avahi_entry_group_commit(group);
    }
};

MdnsAnnouncer::MdnsAnnouncer() = default;

MdnsAnnouncer::~MdnsAnnouncer()
{
    if (!avahi_) return;
    AvahiLibrary& lib = avahi_->lib;
    lib.avahi_threaded_poll_stop(avahi_->poll);
    if (avahi_->client) lib.avahi_client_free(avahi_->client); // frees its group: the service goes
    lib.avahi_threaded_poll_free(avahi_->poll);
}

void MdnsAnnouncer::publish(const Announcement& a)
{
    if (!avahi_) {
        AvahiLibrary* lib = library();
        if (!lib) return;
        auto avahi = std::make_unique<Avahi>(*lib);
        avahi->poll = lib->avahi_threaded_poll_new();
        if (!avahi->poll) return;
        avahi->wanted = a;
        avahi->name = a.name;
        avahi->connect();
        if (lib->avahi_threaded_poll_start(avahi->poll) < 0) {
            if (avahi->client) lib->avahi_client_free(avahi->client);
            lib->avahi_threaded_poll_free(avahi->poll);
            return;
        }
        avahi_ = std::move(avahi);
        return;
    }
    AvahiLibrary& lib = avahi_->lib;
    lib.avahi_threaded_poll_lock(avahi_->poll);
    avahi_->wanted = a;
    avahi_->name = a.name;
    if (avahi_->group) lib.avahi_entry_group_reset(avahi_->group);
    if (avahi_->client) avahi_->register_(avahi_->client);
    lib.avahi_threaded_poll_unlock(avahi_->poll);
}

void MdnsAnnouncer::withdraw()
{
    if (!avahi_) return;
    AvahiLibrary& lib = avahi_->lib;
    lib.avahi_threaded_poll_lock(avahi_->poll);
    avahi_->wanted.reset();
    if (avahi_->group) lib.avahi_entry_group_reset(avahi_->group);
    lib.avahi_threaded_poll_unlock(avahi_->poll);
}

#else // built without the Avahi headers: never announced

struct MdnsAnnouncer::Avahi {};
MdnsAnnouncer::MdnsAnnouncer() = default;
MdnsAnnouncer::~MdnsAnnouncer() = default;
void MdnsAnnouncer::publish(const Announcement&) {}
void MdnsAnnouncer::withdraw() {}

#endif

} // namespace plovan::remote
