#pragma once
// A socket address of either family, as the kernel hands it over (accept,
// getaddrinfo) and as people write it ("127.0.0.1:111", "[::1]:111").

#include <sys/socket.h>

#include <string>

namespace net {

struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;

    static Address of(const sockaddr* a, socklen_t length);
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    int family() const { return storage.ss_family; }
    int port() const;
    void setPort(int port);
    // The host part alone: "127.0.0.1", "::1" (an IPv4 client of an IPv6
    // socket is shown as the IPv4 address it is).
    std::string host() const;
    // "127.0.0.1:111", "[::1]:111".
    std::string text() const;
    // The same host, whatever the ports.
    bool sameHost(const Address& other) const;
};

// An address written in digits with a port; false for a name (or nonsense).
bool numericAddress(const std::string& host, int port, Address& out);

// The address a connected socket's peer has, and the port a socket is bound to.
Address peerOf(int fd);
int localPort(int fd);

}  // namespace net
