#pragma once
// tm-gateway's sockets: the core and abort channels and the portmapper (its
// own, or the system's it registers with), the clients it admits (the
// allow list, then the connection policy), one thread per connection
// reading whole records within fixed limits and writing each reply itself,
// so a client that stops reading stalls nobody else; and a look now and then
// at the connections whose operation runs long, so one whose client went
// away ends that operation at once.

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gateway/connection_policy.h"
#include "gateway/gateway_core.h"
#include "gateway/gateway_service.h"
#include "net/cidr.h"
#include "net/socket.h"

namespace gateway {

enum class PortmapperUse {
    IfFree,    // the system's when one runs, else our own when its port can be bound
    Required,  // the same, or refuse to start
    Off
};

struct ServerSettings {
    std::string listen = "127.0.0.1";
    int corePort = 0;  // any free port
    PortmapperUse portmapper = PortmapperUse::IfFree;
    int portmapperPort = 111;
    net::AllowList allow = net::AllowList::loopback();
    ConnectionPolicy policy;
    std::function<void(const std::string&)> log = [](const std::string&) {};
};

// A connection as the status page shows it.
struct ConnectionView {
    int id = 0;
    std::string peer;
    std::string channel;  // "core", "abort", "portmapper"
};

class GatewayServer {
  public:
    explicit GatewayServer(ServerSettings settings);
    ~GatewayServer();

    // Binds the channels and sees to the portmapper; false with the problem.
    bool bind(std::string& problem);
    Ports ports() const { return m_ports; }
    // "portmapper on 127.0.0.1:111", "no portmapper (...)".
    const std::string& portmapperNote() const { return m_portmapperNote; }
    // The port clients ask for the core channel's (0: no portmapper).
    int portmapperPort() const { return m_mapperPort; }

    // Serves until stopFd (or standard input, when watched) is readable.
    void run(GatewayService& service, GatewayCore& core, int stopFd, bool watchStdin);
    // Ends every connection and unregisters from the system's portmapper.
    void shutDown();

    // For the status page: the connections now, and the clients refused so
    // far (outside the allow list; beyond the limits).
    std::vector<ConnectionView> connections();
    unsigned long refusedNotAllowed() const { return m_refusedNotAllowed; }
    unsigned long refusedFull() const { return m_refusedFull; }

  private:
    enum class Channel { Core, Abort, Portmapper };
    struct Connection;

    void accept(int listener, Channel channel, GatewayService& service, GatewayCore& core);
    // Under m_lock: whether the policy lets a client of this address in,
    // making room when it may.
    bool admit(Channel channel, const net::Address& peer, GatewayCore& core);
    // Whether the idle rule may close the connection (or it may make room):
    // it holds no link, or (the abort channel) its address holds none.
    bool expendable(const Connection& c, const GatewayCore::LinkHolders& holders) const;
    void serveConnection(Connection& c, GatewayService& service, GatewayCore& core);
    void answerDatagram(GatewayService& service);
    void logRefusal(const std::string& line);
    void reap();
    // Connections whose client hung up while their operation runs.
    void lookForHangUps(GatewayCore& core);
    bool registerMappings(std::string& why);

    ServerSettings m_settings;
    net::Socket m_core, m_abort, m_mapperTcp, m_mapperUdp;
    Ports m_ports;
    std::string m_portmapperNote;
    bool m_registered = false;
    int m_mapperPort = 0;

    std::mutex m_lock;
    std::list<std::unique_ptr<Connection>> m_connections;
    int m_nextConnection = 1;
    int64_t m_lastUdpRefusalLog = 0;
    DatagramBudget m_datagrams;
    // Refusals logged in the current second, and those left out.
    int64_t m_refusalSecondUs = 0;
    int m_refusalsLogged = 0, m_refusalsLeftOut = 0;
    std::atomic<unsigned long> m_refusedNotAllowed{0}, m_refusedFull{0};
};

}  // namespace gateway
