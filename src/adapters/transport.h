#pragma once
// The line between the driver and an adapter: a serial device or a TCP
// connection, as a non-blocking byte stream with deadlines. Nothing here
// knows the adapter's protocol; the waits are the network layer's.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/interrupter.h"
#include "net/monotonic.h"

namespace adapters {

// The clock every deadline of this kind is read on.
inline int64_t monotonicUs() {
    return net::monotonicUs();
}

class Transport {
  public:
    virtual ~Transport();

    // Opens (or reopens) the line; false with the reason why not.
    virtual bool open(int64_t deadlineUs, std::string& why) = 0;
    // Where the line goes, for the operator: "/dev/ttyUSB0", "lab-gpib:1234".
    virtual std::string where() const = 0;

    bool isOpen() const { return m_fd >= 0; }
    void close();

    enum class Io { Done, Timeout, Lost };
    // Writes every byte before the deadline; written (when given) is how
    // many went out, also when not all of them did.
    Io writeAll(const char* data, size_t size, int64_t deadlineUs, size_t* written = nullptr);
    // Reads what has arrived, waiting until the deadline for the first byte
    // (a deadline in the past does not wait). got is 0 on Timeout. emptyAtUs
    // (when given) gets a time at which the line was seen empty before what
    // was read arrived, or -1 when it held bytes all along.
    Io readSome(char* dst, size_t max, int64_t deadlineUs, size_t& got,
                int64_t* emptyAtUs = nullptr);
    // Why the line was lost, for the operator.
    const std::string& lostReason() const { return m_lost; }

    // From another thread: every wait ends at once as a Timeout, until
    // clearInterrupt(); interrupted() tells such a Timeout from the deadline.
    void interrupt() { m_stop.raise(); }
    void clearInterrupt() { m_stop.clear(); }
    bool interrupted() const { return m_stop.raised(); }

  protected:
    // Writes without SIGPIPE on a socket.
    virtual long writeOnce(const char* data, size_t size);
    Io lose(const std::string& what, int err);

    int m_fd = -1;
    std::string m_lost;
    net::Interrupter m_stop;
};

// A serial device (raw 8N1 at baud, no flow control) or a TCP connection.
std::unique_ptr<Transport> makeSerialTransport(const std::string& device, int baud);
std::unique_ptr<Transport> makeTcpTransport(const std::string& host, int port);

}  // namespace adapters
