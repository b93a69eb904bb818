#include "net/lookup.h"

#include <netdb.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "net/monotonic.h"

namespace net {

namespace {

int systemResolve(const std::string& host, int port, std::vector<Address>& found) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    addrinfo* list = nullptr;
    int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (status != 0)
        return status;
    for (addrinfo* a = list; a; a = a->ai_next)
        found.push_back(Address::of(a->ai_addr, a->ai_addrlen));
    freeaddrinfo(list);
    return 0;
}

std::mutex g_resolverLock;
Resolver g_resolver;  // empty: the system's

Resolver currentResolver() {
    std::lock_guard<std::mutex> hold(g_resolverLock);
    return g_resolver ? g_resolver : Resolver(systemResolve);
}

// What the lookup thread and the waiting caller share; the thread may
// outlive the wait, so it holds its own reference.
struct Pending {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    int status = 0;
    std::vector<Address> found;
};

}  // namespace

Resolver setResolver(Resolver resolver) {
    std::lock_guard<std::mutex> hold(g_resolverLock);
    Resolver previous = g_resolver;
    g_resolver = std::move(resolver);
    return previous;
}

bool lookUp(const std::string& host, int port, int64_t deadlineUs, std::vector<Address>& found,
            std::string& why) {
    found.clear();
    if (Address a; numericAddress(host, port, a)) {
        found.push_back(a);
        return true;
    }
    if (host.empty()) {
        why = "no host name";
        return false;
    }
    // The resolver has no deadline of its own to give it: it runs on a
    // thread of its own, which may finish after the caller stopped waiting.
    auto pending = std::make_shared<Pending>();
    try {
        std::thread([pending, host, port, resolve = currentResolver()] {
            std::vector<Address> addresses;
            int status = resolve(host, port, addresses);
            std::lock_guard<std::mutex> hold(pending->lock);
            pending->status = status;
            pending->found = std::move(addresses);
            pending->finished = true;
            pending->done.notify_all();
        }).detach();
    } catch (const std::system_error& e) {
        why = host + ": no thread for the lookup (" + e.what() + ")";
        return false;
    }
    std::unique_lock<std::mutex> hold(pending->lock);
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::microseconds(std::max<int64_t>(deadlineUs - monotonicUs(), 0));
    if (!pending->done.wait_until(hold, until, [&] { return pending->finished; })) {
        why = "the name " + host + " was not found before the timeout";
        return false;
    }
    if (pending->status != 0 || pending->found.empty()) {
        why = host + ": " + (pending->status ? gai_strerror(pending->status) : "no address");
        return false;
    }
    found = pending->found;
    return true;
}

}  // namespace net
