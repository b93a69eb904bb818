#pragma once
// The gateway's page for a person with a browser (--http PORT): a plain
// HTML page, its script and style, the gateway's state as JSON, and two
// actions the page asks for with a POST: the listener search on a board
// and *IDN? to one instrument. Served by libmicrohttpd, which parses HTTP
// and bounds what a client may hold: connections in all and per address,
// the memory a request's headers may take, and the idle time of each.
//
// Facing the network, it admits only the allow list's clients (closed
// before a byte is read), answers only to a Host that names this machine
// (a page of another site that rebinds its own name to this address is
// turned away), and takes the actions only from its own page: a POST
// without the page's header, or from another origin, changes nothing.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "driver/board.h"
#include "net/cidr.h"
#include "net/socket.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace gateway {

struct PageAnswer {
    int status = 200;
    std::string json;
};

// What the page shows and does; the gateway program fills it in. Each is
// called from a connection's thread, the actions bounded in time by the
// program.
struct PageActions {
    std::function<std::string()> status;
    std::function<PageAnswer(int board)> search;
    std::function<PageAnswer(int board, gpibdrv::BusAddress at)> identify;
};

struct PageSettings {
    net::AllowList allow = net::AllowList::loopback();
    // The names a Host header may give besides an address: the host name,
    // with or without a domain.
    std::string hostName;
    std::function<void(const std::string&)> log = [](const std::string&) {};
    unsigned maxConnections = 32;
    unsigned perAddress = 4;
    unsigned idleSeconds = 10;
    // The actions that may run (or wait for their bus) at once.
    int maxActions = 4;
};

class StatusPage {
  public:
    StatusPage(PageSettings settings, PageActions actions);
    ~StatusPage();
    StatusPage(const StatusPage&) = delete;
    StatusPage& operator=(const StatusPage&) = delete;

    // Binds the port (before the privileges go: 80 needs them); false with
    // the problem.
    bool bind(const std::string& address, int port, std::string& problem);
    int port() const { return m_port; }
    // Serves on threads of its own until stop().
    bool start(std::string& problem);
    void stop();

    // Clients refused by the allow list.
    unsigned long refused() const { return m_refused; }

    // libmicrohttpd's callbacks.
    bool admits(const net::Address& peer);
    int handle(MHD_Connection* c, const std::string& url, const std::string& method);

  private:
    bool hostAllowed(const std::string& host) const;
    bool fromThePage(MHD_Connection* c, const std::string& host, std::string& why) const;
    int action(MHD_Connection* c, const std::string& url);

    PageSettings m_settings;
    PageActions m_actions;
    net::Socket m_listener;
    int m_port = 0;
    MHD_Daemon* m_daemon = nullptr;
    std::atomic<unsigned long> m_refused{0};
    std::atomic<int> m_actionsRunning{0};
    std::mutex m_logLock;
    int64_t m_lastRefusalLog = 0;
};

// A JSON string of any bytes: quoted, escaped, each byte above 127 taken as
// Latin-1, so that whatever an instrument or a client said stays valid JSON.
std::string jsonString(std::string_view text);

}  // namespace gateway
