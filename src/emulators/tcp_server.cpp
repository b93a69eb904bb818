#include "emulators/tcp_server.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace emulators {

Listener::~Listener() {
    if (fd >= 0)
        ::close(fd);
}

bool Listener::open(const std::string& address, int wanted, int type, std::string& problem) {
    addrinfo hints{};
    hints.ai_socktype = type;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string where = address + ":" + std::to_string(wanted);
    if (int rc = getaddrinfo(address.c_str(), std::to_string(wanted).c_str(), &hints, &found)) {
        problem = where + ": " + gai_strerror(rc);
        return false;
    }
    fd = ::socket(found->ai_family, type | SOCK_CLOEXEC, 0);
    int one = 1;
    if (fd >= 0 && type == SOCK_STREAM)
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    bool bound = fd >= 0 && ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 &&
                 (type != SOCK_STREAM || ::listen(fd, 16) == 0);
    freeaddrinfo(found);
    if (!bound) {
        problem = where + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        return false;
    }
    sockaddr_storage bound_address{};
    socklen_t length = sizeof bound_address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound_address), &length);
    port = ntohs(bound_address.ss_family == AF_INET6
                     ? reinterpret_cast<sockaddr_in6*>(&bound_address)->sin6_port
                     : reinterpret_cast<sockaddr_in*>(&bound_address)->sin_port);
    return true;
}

void ConnectionThreads::start(int fd, std::function<void(int)> serve) {
    if (fd < 0)
        return;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    reap();
    std::lock_guard<std::mutex> hold(m_lock);
    auto connection = std::make_unique<Connection>();
    Connection* c = connection.get();
    c->fd = fd;
    c->thread = std::thread([this, c, serve = std::move(serve)] {
        serve(c->fd);
        std::lock_guard<std::mutex> done(m_lock);
        c->done = true;
    });
    m_connections.push_back(std::move(connection));
}

void ConnectionThreads::reap() {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            auto next = std::next(it);
            if ((*it)->done)
                finished.splice(finished.end(), m_connections, it);
            it = next;
        }
    }
    for (auto& c : finished) {
        c->thread.join();
        ::close(c->fd);
    }
}

void ConnectionThreads::stopAll() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (auto& c : m_connections) ::shutdown(c->fd, SHUT_RDWR);
    }
    std::list<std::unique_ptr<Connection>> all;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        all.swap(m_connections);
    }
    for (auto& c : all) {
        c->thread.join();
        ::close(c->fd);
    }
}

}  // namespace emulators
