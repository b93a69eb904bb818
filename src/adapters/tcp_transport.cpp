// A TCP connection to a network adapter, opened without blocking so that an
// unreachable host costs the open's deadline and no more.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "adapters/transport.h"

namespace adapters {

namespace {

class TcpTransport final : public Transport {
  public:
    TcpTransport(std::string host, int port) : m_host(std::move(host)), m_port(port) {}

    std::string where() const override { return m_host + ":" + std::to_string(m_port); }

    bool open(int64_t deadlineUs, std::string& why) override {
        close();
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        std::string port = std::to_string(m_port);
        if (int err = ::getaddrinfo(m_host.c_str(), port.c_str(), &hints, &found); err != 0) {
            why = "cannot find " + m_host + ": " + ::gai_strerror(err);
            return false;
        }
        why = "cannot connect to " + where() + ": no address";
        for (addrinfo* a = found; a; a = a->ai_next) {
            int fd = connectTo(a, deadlineUs, why);
            if (fd >= 0) {
                m_fd = fd;
                m_lost.clear();
                break;
            }
        }
        ::freeaddrinfo(found);
        return m_fd >= 0;
    }

  private:
    long writeOnce(const char* data, size_t size) override {
        return ::send(m_fd, data, size, MSG_NOSIGNAL);
    }

    int connectTo(const addrinfo* a, int64_t deadlineUs, std::string& why) {
        int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            why = "cannot connect to " + where() + ": " + std::strerror(errno);
            return -1;
        }
        int err = 0;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS)
                err = finishConnect(fd, deadlineUs);
        }
        if (err != 0) {
            why = "cannot connect to " + where() + ": " +
                  (err == ETIMEDOUT ? std::string("no answer in time") : std::strerror(err));
            ::close(fd);
            return -1;
        }
        // Commands are short lines that must leave at once.
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
        return fd;
    }

    static int finishConnect(int fd, int64_t deadlineUs) {
        for (;;) {
            int64_t left = deadlineUs - monotonicUs();
            if (left <= 0)
                return ETIMEDOUT;
            pollfd p{fd, POLLOUT, 0};
            int ready = ::poll(&p, 1, int((left + 999) / 1000));
            if (ready < 0 && errno != EINTR)
                return errno;
            if (ready > 0) {
                int err = 0;
                socklen_t len = sizeof err;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                    return errno;
                return err;
            }
        }
    }

    std::string m_host;
    int m_port;
};

}  // namespace

std::unique_ptr<Transport> makeTcpTransport(const std::string& host, int port) {
    return std::make_unique<TcpTransport>(host, port);
}

}  // namespace adapters
