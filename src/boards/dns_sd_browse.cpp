#include "boards/dns_sd_browse.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "net/monotonic.h"

namespace boards {

namespace {

// Services resolved at most: a network that announces more is not a lab's.
constexpr int kMaxResolvers = 64;
// A daemon that hangs may hold a D-Bus call this much past the deadline
// before the browse is given up without it.
constexpr int64_t kGraceUs = 500000;

struct Browse {
    AvahiSimplePoll* poll = nullptr;
    AvahiClient* client = nullptr;
    std::vector<AnnouncedGateway> found;
    int started = 0, pending = 0;
    bool allForNow = false;
    std::string failure;
};

void keep(Browse& b, AnnouncedGateway g) {
    const bool v4 = g.address.find(':') == std::string::npos;
    for (AnnouncedGateway& seen : b.found)
        if (seen.name == g.name) {
            // The same service seen on another interface or protocol: an
            // IPv4 address serves the board map most plainly.
            if (v4 && seen.address.find(':') != std::string::npos)
                seen = std::move(g);
            return;
        }
    b.found.push_back(std::move(g));
}

void resolved(AvahiServiceResolver* r, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
              const char* name, const char*, const char*, const char* host,
              const AvahiAddress* address, uint16_t port, AvahiStringList*, AvahiLookupResultFlags,
              void* data) {
    auto* b = static_cast<Browse*>(data);
    if (event == AVAHI_RESOLVER_FOUND && address && name && host) {
        char text[AVAHI_ADDRESS_STR_MAX] = {};
        avahi_address_snprint(text, sizeof text, address);
        // A link-local IPv6 address needs its interface, which a board map
        // cannot name.
        if (std::string(text).rfind("fe80:", 0) != 0)
            keep(*b, {name, host, text, port});
    }
    --b->pending;
    avahi_service_resolver_free(r);
}

void browsed(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
             AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
             AvahiLookupResultFlags, void* data) {
    auto* b = static_cast<Browse*>(data);
    if (event == AVAHI_BROWSER_NEW && b->started < kMaxResolvers) {
        if (avahi_service_resolver_new(b->client, interface, protocol, name, type, domain,
                                       AVAHI_PROTO_UNSPEC, AvahiLookupFlags(0), resolved, b)) {
            ++b->started;
            ++b->pending;
        }
    } else if (event == AVAHI_BROWSER_ALL_FOR_NOW) {
        b->allForNow = true;
    } else if (event == AVAHI_BROWSER_FAILURE) {
        b->failure = avahi_strerror(avahi_client_errno(b->client));
    }
}

void clientState(AvahiClient*, AvahiClientState, void*) {}

BrowseResult browseNow(int64_t deadlineUs) {
    BrowseResult out;
    Browse b;
    b.poll = avahi_simple_poll_new();
    if (!b.poll) {
        out.note = "DNS-SD: out of memory";
        return out;
    }
    int error = 0;
    b.client = avahi_client_new(avahi_simple_poll_get(b.poll), AvahiClientFlags(0), clientState,
                                nullptr, &error);
    if (!b.client) {
        out.note = std::string("DNS-SD not asked: no Avahi daemon answers (") +
                   avahi_strerror(error) + ")";
        avahi_simple_poll_free(b.poll);
        return out;
    }
    AvahiServiceBrowser* browser =
        avahi_service_browser_new(b.client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, "_vxi-11._tcp",
                                  nullptr, AvahiLookupFlags(0), browsed, &b);
    if (!browser) {
        out.note = std::string("DNS-SD: the Avahi daemon would not browse (") +
                   avahi_strerror(avahi_client_errno(b.client)) + ")";
    } else {
        for (;;) {
            const int64_t left = deadlineUs - net::monotonicUs();
            if (left <= 0 || !b.failure.empty() || (b.allForNow && b.pending == 0))
                break;
            if (avahi_simple_poll_iterate(b.poll, int((left + 999) / 1000)) != 0)
                break;
        }
        if (!b.failure.empty())
            out.note = "DNS-SD: " + b.failure;
        // Freeing the client frees the browser and the resolvers still open.
    }
    avahi_client_free(b.client);
    avahi_simple_poll_free(b.poll);
    out.gateways = std::move(b.found);
    return out;
}

}  // namespace

BrowseResult browseVxi11(int64_t deadlineUs) {
    // The daemon is reached over D-Bus, whose calls wait long when the daemon
    // hangs: the browse runs on a thread of its own, and is left behind
    // (to end by itself) when it overstays.
    struct Shared {
        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
        BrowseResult result;
    };
    auto shared = std::make_shared<Shared>();
    std::thread browsing([shared, deadlineUs] {
        BrowseResult r = browseNow(deadlineUs);
        std::lock_guard<std::mutex> hold(shared->lock);
        shared->result = std::move(r);
        shared->finished = true;
        shared->done.notify_all();
    });
    const auto until =
        std::chrono::steady_clock::time_point(std::chrono::microseconds(deadlineUs + kGraceUs));
    std::unique_lock<std::mutex> hold(shared->lock);
    if (!shared->done.wait_until(hold, until, [&] { return shared->finished; })) {
        hold.unlock();
        browsing.detach();
        BrowseResult late;
        late.note = "DNS-SD: the Avahi daemon did not answer in time";
        return late;
    }
    hold.unlock();
    browsing.join();
    return std::move(shared->result);
}

}  // namespace boards
