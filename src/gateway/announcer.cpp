#include "gateway/announcer.h"

#include <arpa/inet.h>
#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/address.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>
#include <avahi-common/timeval.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>
#include <mutex>

namespace gateway {

namespace {

// How long a missing D-Bus is given before the next try (a missing daemon
// is waited for by Avahi's client itself).
constexpr unsigned kRetryMs = 30'000;
// Names tried after a collision before giving up.
constexpr int kMostRenames = 20;
// The longest DNS-SD instance name.
constexpr size_t kMaxServiceName = 63;

}  // namespace

AnnounceScope announceScope(const std::string& listen) {
    AnnounceScope s;
    in_addr v4{};
    in6_addr v6{};
    const bool isV4 = inet_pton(AF_INET, listen.c_str(), &v4) == 1;
    const bool isV6 = !isV4 && inet_pton(AF_INET6, listen.c_str(), &v6) == 1;
    if (!isV4 && !isV6) {
        s.why = listen + " is no address";
        return s;
    }
    if ((isV4 && (ntohl(v4.s_addr) >> 24) == 127) || (isV6 && IN6_IS_ADDR_LOOPBACK(&v6))) {
        s.why = "it listens on loopback alone (--listen)";
        return s;
    }
    if ((isV4 && v4.s_addr == INADDR_ANY) || (isV6 && IN6_IS_ADDR_UNSPECIFIED(&v6))) {
        // An IPv6 socket of all addresses takes IPv4 clients too.
        s.announce = true;
        s.family = isV4 ? AF_INET : AF_UNSPEC;
        return s;
    }
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) == 0) {
        for (ifaddrs* i = all; i && !s.announce; i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != (isV4 ? AF_INET : AF_INET6))
                continue;
            const bool same =
                isV4 ? reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr == v4.s_addr
                     : std::memcmp(&reinterpret_cast<sockaddr_in6*>(i->ifa_addr)->sin6_addr, &v6,
                                   sizeof v6) == 0;
            if (same) {
                s.announce = true;
                s.interfaceIndex = int(if_nametoindex(i->ifa_name));
                s.family = isV4 ? AF_INET : AF_INET6;
            }
        }
        freeifaddrs(all);
    }
    if (!s.announce)
        s.why = "no interface has the address " + listen;
    return s;
}

std::vector<std::string> instrumentTxt(const std::string& manufacturer, const std::string& model,
                                       const std::string& serial, const std::string& version) {
    return {"txtvers=1", "Manufacturer=" + manufacturer, "Model=" + model, "SerialNumber=" + serial,
            "FirmwareVersion=" + version};
}

std::string serviceName(const std::string& host) {
    const std::string prefix = "tm-gateway on ";
    // Room for " #99" that a rename may add.
    return prefix + host.substr(0, kMaxServiceName - prefix.size() - 4);
}

struct Announcer::Impl {
    AnnounceSettings s;
    AvahiThreadedPoll* poll = nullptr;
    bool running = false;
    // The poll thread's own:
    AvahiClient* client = nullptr;
    AvahiEntryGroup* group = nullptr;
    AvahiTimeout* retry = nullptr;
    std::string name;
    int renames = 0;
    bool established = false;
    std::string lastNote;
    // Read by state() from any thread.
    mutable std::mutex stateLock;
    std::string stateText = "not started";

    // Says what is going on; each new state once in the log (a quiet one
    // only on the page, where the log has said it in other words).
    void note(const std::string& text, bool quiet = false) {
        {
            std::lock_guard<std::mutex> hold(stateLock);
            stateText = text;
        }
        if (text != lastNote && !quiet)
            s.log(text);
        lastNote = text;
    }

    std::string services() const {
        std::string text;
        if (s.vxi11Port)
            text += "_vxi-11._tcp port " + std::to_string(s.vxi11Port);
        if (s.httpPort)
            text += std::string(text.empty() ? "" : ", ") + "_lxi._tcp and _http._tcp port " +
                    std::to_string(s.httpPort);
        return text;
    }

    void connect();
    void publish(AvahiClient* c);
    void rename();
    void retryLater() {
        timeval when{};
        avahi_elapse_time(&when, kRetryMs, 0);
        avahi_threaded_poll_get(poll)->timeout_update(retry, &when);
    }
};

namespace {

void onRetry(AvahiTimeout*, void* self) {
    auto* m = static_cast<Announcer::Impl*>(self);
    if (!m->client)
        m->connect();
}

void onGroup(AvahiEntryGroup* g, AvahiEntryGroupState state, void* self) {
    auto* m = static_cast<Announcer::Impl*>(self);
    switch (state) {
        case AVAHI_ENTRY_GROUP_ESTABLISHED:
            m->established = true;
            m->note("announced as \"" + m->name + "\" (" + m->services() + ")");
            break;
        case AVAHI_ENTRY_GROUP_COLLISION:
            // Another machine has the name: the next one, as DNS-SD asks.
            m->rename();
            avahi_entry_group_reset(g);
            m->publish(avahi_entry_group_get_client(g));
            break;
        case AVAHI_ENTRY_GROUP_FAILURE:
            m->note(std::string("not announced: ") +
                    avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(g))));
            break;
        case AVAHI_ENTRY_GROUP_UNCOMMITED:
        case AVAHI_ENTRY_GROUP_REGISTERING:
            break;
    }
}

void onClient(AvahiClient* c, AvahiClientState state, void* self) {
    auto* m = static_cast<Announcer::Impl*>(self);
    switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            m->publish(c);
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            // The daemon's own host name is changing: announce again after.
            if (m->group)
                avahi_entry_group_reset(m->group);
            break;
        case AVAHI_CLIENT_CONNECTING:
            // After "went away", waiting for it again says nothing new.
            m->note("no Avahi daemon runs: announcing once one starts",
                    m->lastNote.rfind("the Avahi daemon went away", 0) == 0);
            break;
        case AVAHI_CLIENT_FAILURE: {
            const int error = avahi_client_errno(c);
            avahi_client_free(c);  // its entry group with it
            m->client = nullptr;
            m->group = nullptr;
            m->established = false;
            if (error == AVAHI_ERR_DISCONNECTED) {
                m->note("the Avahi daemon went away: announcing again once one is back");
                m->connect();
            } else {
                m->note(std::string("not announced: ") + avahi_strerror(error));
                m->retryLater();
            }
            break;
        }
    }
}

}  // namespace

void Announcer::Impl::connect() {
    int error = 0;
    client = avahi_client_new(avahi_threaded_poll_get(poll), AVAHI_CLIENT_NO_FAIL, onClient, this,
                              &error);
    if (!client) {
        note(std::string("not announced: Avahi cannot be reached (") + avahi_strerror(error) +
             "); trying again every 30 s");
        retryLater();
    }
}

void Announcer::Impl::rename() {
    char* next = avahi_alternative_service_name(name.c_str());
    s.log("the name \"" + name + "\" is taken on the network: trying \"" + next + "\"");
    name = next;
    avahi_free(next);
    ++renames;
}

void Announcer::Impl::publish(AvahiClient* c) {
    if (!group && !(group = avahi_entry_group_new(c, onGroup, this))) {
        note(std::string("not announced: ") + avahi_strerror(avahi_client_errno(c)));
        return;
    }
    if (!avahi_entry_group_is_empty(group))
        return;
    if (renames > kMostRenames) {
        note("not announced: every name tried is taken");
        return;
    }
    const AvahiIfIndex where =
        s.scope.interfaceIndex < 0 ? AVAHI_IF_UNSPEC : s.scope.interfaceIndex;
    const AvahiProtocol protocol =
        s.scope.family == AF_UNSPEC ? AVAHI_PROTO_UNSPEC : avahi_af_to_proto(s.scope.family);
    AvahiStringList* txt = nullptr;
    for (const std::string& record : s.txt) txt = avahi_string_list_add(txt, record.c_str());
    AvahiStringList* httpTxt = avahi_string_list_add(avahi_string_list_copy(txt), "path=/");
    struct Service {
        const char* type;
        int port;
        AvahiStringList* txt;
    };
    const Service all[] = {{"_vxi-11._tcp", s.vxi11Port, txt},
                           {"_lxi._tcp", s.httpPort, txt},
                           {"_http._tcp", s.httpPort, httpTxt}};
    int error = AVAHI_OK;
    for (const Service& service : all) {
        if (service.port <= 0 || error != AVAHI_OK)
            continue;
        error = avahi_entry_group_add_service_strlst(group, where, protocol, AvahiPublishFlags(0),
                                                     name.c_str(), service.type, nullptr, nullptr,
                                                     uint16_t(service.port), service.txt);
    }
    avahi_string_list_free(txt);
    avahi_string_list_free(httpTxt);
    if (error == AVAHI_ERR_COLLISION) {
        // A service of this machine has the name already.
        rename();
        avahi_entry_group_reset(group);
        publish(c);
        return;
    }
    if (error == AVAHI_OK)
        error = avahi_entry_group_commit(group);
    if (error != AVAHI_OK) {
        note(std::string("not announced: ") + avahi_strerror(error));
        avahi_entry_group_reset(group);
    }
}

Announcer::Announcer(AnnounceSettings settings) : m(std::make_unique<Impl>()) {
    m->s = std::move(settings);
    m->name = m->s.name;
}

Announcer::~Announcer() {
    if (!m->running)
        return;
    avahi_threaded_poll_stop(m->poll);
    if (m->client)
        avahi_client_free(m->client);  // which withdraws what it announced
    if (m->established)
        m->s.log("announcements withdrawn");
    avahi_threaded_poll_free(m->poll);
}

bool Announcer::start() {
    if (!(m->poll = avahi_threaded_poll_new())) {
        m->note("not announced: Avahi's thread cannot be made");
        return false;
    }
    // The first try on Avahi's thread, so that a D-Bus slow to answer holds
    // up nothing of the gateway's.
    const AvahiPoll* api = avahi_threaded_poll_get(m->poll);
    m->retry = api->timeout_new(api, nullptr, onRetry, m.get());
    timeval now{};
    avahi_elapse_time(&now, 0, 0);
    api->timeout_update(m->retry, &now);
    if (avahi_threaded_poll_start(m->poll) < 0) {
        avahi_threaded_poll_free(m->poll);
        m->poll = nullptr;
        m->note("not announced: Avahi's thread cannot start");
        return false;
    }
    m->running = true;
    return true;
}

std::string Announcer::state() const {
    std::lock_guard<std::mutex> hold(m->stateLock);
    return m->stateText;
}

}  // namespace gateway
