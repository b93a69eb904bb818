#include "vxi11/host_lookup.h"

#include <netdb.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace vxi11 {

namespace {

struct Lookup {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    int status = 0;
    sockaddr_storage address{};
    socklen_t length = 0;
};

int resolve(const std::string& host, int port, int flags, sockaddr_storage& address,
            socklen_t& length) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (status == 0) {
        std::memcpy(&address, found->ai_addr, found->ai_addrlen);
        length = found->ai_addrlen;
        freeaddrinfo(found);
    }
    return status;
}

}  // namespace

bool lookUpHost(const std::string& host, int port, std::chrono::steady_clock::time_point deadline,
                sockaddr_storage& address, socklen_t& length, std::string& reason) {
    // An address needs no name server.
    if (resolve(host, port, AI_NUMERICHOST, address, length) == 0)
        return true;
    // A name is looked up on a thread of its own that may outlive the wait:
    // the resolver has no deadline of its own to give it.
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host, port] {
        sockaddr_storage found{};
        socklen_t size = 0;
        int status = resolve(host, port, 0, found, size);
        std::lock_guard<std::mutex> hold(lookup->lock);
        lookup->status = status;
        lookup->address = found;
        lookup->length = size;
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> hold(lookup->lock);
    if (!lookup->done.wait_until(hold, deadline, [&] { return lookup->finished; })) {
        reason = "the name " + host + " was not found before the timeout";
        return false;
    }
    if (lookup->status != 0) {
        reason = host + ": " + gai_strerror(lookup->status);
        return false;
    }
    address = lookup->address;
    length = lookup->length;
    return true;
}

}  // namespace vxi11
