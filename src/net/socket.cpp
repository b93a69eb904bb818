#include "net/socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "net/lookup.h"
#include "net/monotonic.h"

namespace net {

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = other.release();
    }
    return *this;
}

int Socket::release() {
    int fd = m_fd;
    m_fd = -1;
    return fd;
}

void Socket::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int waitFor(int fd, short events, int64_t deadlineUs, const Interrupter* stop) {
    for (;;) {
        if (stop && stop->raised())
            return kInterrupted;
        const int64_t left = deadlineUs - monotonicUs();
        if (left <= 0)
            return 0;
        timespec wait{time_t(left / 1000000), long(left % 1000000) * 1000};
        pollfd p[2] = {{fd, events, 0}, {stop ? stop->fd() : -1, POLLIN, 0}};
        int ready = ::ppoll(p, 2, &wait, nullptr);
        if (ready < 0 && errno != EINTR)
            return -1;
        if (stop && stop->raised())
            return kInterrupted;
        if (ready > 0 && p[0].revents)
            return p[0].revents;
    }
}

void noDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

Socket connectTo(const Address& to, int64_t deadlineUs, std::string& why, const Interrupter* stop) {
    Socket s(::socket(to.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s.valid()) {
        why = std::strerror(errno);
        return s;
    }
    int err = 0;
    if (::connect(s.fd(), to.get(), to.length) != 0) {
        err = errno;
        if (err == EINPROGRESS) {
            int ready = waitFor(s.fd(), POLLOUT, deadlineUs, stop);
            socklen_t size = sizeof err;
            if (ready == 0)
                err = ETIMEDOUT;
            else if (ready == kInterrupted)
                err = EINTR;
            else if (ready < 0)
                err = errno;
            else if (::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &err, &size) != 0)
                err = errno;
        }
    }
    if (err != 0) {
        why = err == ETIMEDOUT ? "no connection before the timeout"
              : err == EINTR   ? "interrupted"
                               : std::strerror(err);
        s.close();
        return s;
    }
    noDelay(s.fd());
    return s;
}

Socket connectHost(const std::string& host, int port, int64_t deadlineUs, std::string& why,
                   const Interrupter* stop) {
    std::vector<Address> addresses;
    if (!lookUp(host, port, deadlineUs, addresses, why))
        return Socket();
    for (const Address& a : addresses) {
        Socket s = connectTo(a, deadlineUs, why, stop);
        if (s.valid())
            return s;
        if (monotonicUs() >= deadlineUs)
            break;
    }
    return Socket();
}

Io readSome(int fd, char* dst, size_t max, int64_t deadlineUs, size_t& got, int& error,
            const Interrupter* stop) {
    got = 0;
    error = 0;
    for (;;) {
        ssize_t n = ::recv(fd, dst, max, MSG_DONTWAIT);
        if (n > 0) {
            got = size_t(n);
            return Io::Done;
        }
        if (n == 0)
            return Io::Lost;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
            return Io::Lost;
        }
        int ready = waitFor(fd, POLLIN, deadlineUs, stop);
        if (ready == kInterrupted)
            return Io::Interrupted;
        if (ready == 0)
            return Io::Timeout;
        if (ready < 0) {
            error = errno;
            return Io::Lost;
        }
        // On POLLHUP or POLLERR the next recv says what is left.
    }
}

Io writeAll(int fd, const char* data, size_t size, int64_t deadlineUs, int& error,
            const Interrupter* stop) {
    error = 0;
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::send(fd, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
            return Io::Lost;
        }
        // A peer that stops reading cannot hold a write for good.
        int ready = waitFor(fd, POLLOUT, deadlineUs, stop);
        if (ready == kInterrupted)
            return Io::Interrupted;
        if (ready == 0)
            return Io::Timeout;
        if (ready < 0 || (ready & (POLLERR | POLLNVAL))) {
            error = ready < 0 ? errno : EPIPE;
            return Io::Lost;
        }
    }
    return Io::Done;
}

Socket listenOn(const std::string& address, int port, int type, std::string& why) {
    const std::string where =
        (address.find(':') != std::string::npos ? "[" + address + "]" : address) + ":" +
        std::to_string(port);
    Address at;
    if (!numericAddress(address, port, at)) {
        why = where + ": not an IPv4 or IPv6 address";
        return Socket();
    }
    Socket s(::socket(at.family(), type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    int one = 1;
    if (s.valid() && type == SOCK_STREAM)
        ::setsockopt(s.fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (!s.valid() || ::bind(s.fd(), at.get(), at.length) != 0 ||
        (type == SOCK_STREAM && ::listen(s.fd(), 64) != 0)) {
        why = where + ": " + std::strerror(errno);
        s.close();
    }
    return s;
}

}  // namespace net
