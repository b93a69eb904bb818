#include "net/address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

namespace net {

namespace {

// An IPv4 client on a dual-stack IPv6 socket arrives as ::ffff:a.b.c.d.
bool mappedV4(const sockaddr_in6& a, in_addr& v4) {
    if (!IN6_IS_ADDR_V4MAPPED(&a.sin6_addr))
        return false;
    std::memcpy(&v4, a.sin6_addr.s6_addr + 12, 4);
    return true;
}

}  // namespace

Address Address::of(const sockaddr* a, socklen_t length) {
    Address out;
    if (a && length > 0 && size_t(length) <= sizeof out.storage) {
        std::memcpy(&out.storage, a, length);
        out.length = length;
    }
    return out;
}

int Address::port() const {
    if (family() == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
    if (family() == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    return 0;
}

void Address::setPort(int port) {
    if (family() == AF_INET)
        reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(uint16_t(port));
    else if (family() == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(uint16_t(port));
}

std::string Address::host() const {
    char text[INET6_ADDRSTRLEN] = "";
    if (family() == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, text,
                  sizeof text);
    } else if (family() == AF_INET6) {
        const auto& a6 = *reinterpret_cast<const sockaddr_in6*>(&storage);
        in_addr v4{};
        if (mappedV4(a6, v4))
            inet_ntop(AF_INET, &v4, text, sizeof text);
        else
            inet_ntop(AF_INET6, &a6.sin6_addr, text, sizeof text);
    } else {
        return "(no address)";
    }
    return text;
}

std::string Address::text() const {
    const std::string h = host();
    const bool bracket = h.find(':') != std::string::npos;
    return (bracket ? "[" + h + "]" : h) + ":" + std::to_string(port());
}

bool Address::sameHost(const Address& other) const {
    return host() == other.host();
}

bool numericAddress(const std::string& host, int port, Address& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    out = Address::of(found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);
    return true;
}

Address peerOf(int fd) {
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0)
        return {};
    return Address::of(reinterpret_cast<sockaddr*>(&a), length);
}

int localPort(int fd) {
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0)
        return 0;
    return Address::of(reinterpret_cast<sockaddr*>(&a), length).port();
}

}  // namespace net
