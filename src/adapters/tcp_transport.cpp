// A TCP connection to a network adapter: the name lookup and the connect
// both end at the open's deadline, so an unreachable host or a silent name
// server costs the open's timeout and no more.
#include <sys/socket.h>

#include "adapters/transport.h"
#include "net/socket.h"

namespace adapters {

namespace {

class TcpTransport final : public Transport {
  public:
    TcpTransport(std::string host, int port) : m_host(std::move(host)), m_port(port) {}

    std::string where() const override { return m_host + ":" + std::to_string(m_port); }

    bool open(int64_t deadlineUs, std::string& why) override {
        close();
        std::string reason;
        net::Socket s = net::connectHost(m_host, m_port, deadlineUs, reason, &m_stop);
        if (!s.valid()) {
            why = "cannot connect to " + where() + ": " + reason;
            return false;
        }
        int one = 1;
        ::setsockopt(s.fd(), SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
        m_fd = s.release();
        m_lost.clear();
        return true;
    }

  private:
    long writeOnce(const char* data, size_t size) override {
        return ::send(m_fd, data, size, MSG_NOSIGNAL);
    }

    std::string m_host;
    int m_port;
};

}  // namespace

std::unique_ptr<Transport> makeTcpTransport(const std::string& host, int port) {
    return std::make_unique<TcpTransport>(host, port);
}

}  // namespace adapters
