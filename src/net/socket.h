#pragma once
// Sockets with deadlines: a connect that gives up at its deadline, reads and
// writes that wait no longer than theirs (or until an Interrupter is
// raised), and listening sockets on an IPv4 or IPv6 address. Every deadline
// is in monotonic microseconds (monotonicUs). Sockets made here are
// non-blocking and close on exec; nothing here raises SIGPIPE.

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/address.h"
#include "net/interrupter.h"

namespace net {

// One descriptor, closed with its owner.
class Socket {
  public:
    Socket() = default;
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket() { close(); }
    Socket(Socket&& other) noexcept : m_fd(other.release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    int fd() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release();
    void close();

  private:
    int m_fd = -1;
};

// What a wait ended with.
enum class Io {
    Done,         // the bytes moved
    Timeout,      // the deadline came first
    Lost,         // closed, reset, or an error (the errno is given)
    Interrupted,  // the interrupter was raised
};

// Waits for events on fd until deadlineUs: the events that came (POLLHUP
// and POLLERR among them), 0 at the deadline, -1 on an error (errno), or
// kInterrupted once stop is raised.
constexpr int kInterrupted = -2;
int waitFor(int fd, short events, int64_t deadlineUs, const Interrupter* stop = nullptr);

// Connects to one address, or to each address of host in turn; the name
// lookup counts in the deadline. An invalid socket, with the reason, when
// none answered before the deadline.
Socket connectTo(const Address& to, int64_t deadlineUs, std::string& why,
                 const Interrupter* stop = nullptr);
Socket connectHost(const std::string& host, int port, int64_t deadlineUs, std::string& why,
                   const Interrupter* stop = nullptr);

// Reads what has arrived on a socket, waiting until deadlineUs for the first
// byte (a deadline in the past does not wait); error is the errno of Lost (0
// when the peer closed).
Io readSome(int fd, char* dst, size_t max, int64_t deadlineUs, size_t& got, int& error,
            const Interrupter* stop = nullptr);
// Writes every byte to a socket before deadlineUs.
Io writeAll(int fd, const char* data, size_t size, int64_t deadlineUs, int& error,
            const Interrupter* stop = nullptr);

// A socket bound to address:port (port 0: any free port; address in digits,
// IPv4 or IPv6) of type SOCK_STREAM (then listening) or SOCK_DGRAM. An
// invalid socket with the reason when the address cannot be had.
Socket listenOn(const std::string& address, int port, int type, std::string& why);

// TCP_NODELAY: requests and answers are small and must leave at once.
void noDelay(int fd);

}  // namespace net
