#pragma once
// The gateway's DNS-SD announcements through the Avahi daemon: the VXI-11
// service (at the portmapper's port, where clients start), and with the
// status page its web service as LAN instruments announce theirs (_lxi._tcp
// and _http._tcp), each with the TXT records those instruments publish.
// Everything happens on a thread of Avahi's own: start() returns at once,
// and a missing daemon, one that goes away or a D-Bus that is not there is
// logged once and waited for, never in the way of serving. A name taken by
// another machine is changed ("... #2") as DNS-SD asks. The announcements
// are withdrawn when the Announcer goes.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace gateway {

// Where announcements go for the address the gateway listens on: every
// interface (an address of all), the interface that has the address, or
// nowhere (loopback, which nobody else reaches).
struct AnnounceScope {
    bool announce = false;
    int interfaceIndex = -1;  // -1: every interface
    int family = 0;           // AF_INET, AF_INET6, or AF_UNSPEC for both
    std::string why;          // when not announced
};
AnnounceScope announceScope(const std::string& listen);

struct AnnounceSettings {
    std::string name;   // "tm-gateway on lab-pc"
    int vxi11Port = 0;  // the portmapper's port; 0: no VXI-11 announcement
    int httpPort = 0;   // the status page's port; 0: none
    AnnounceScope scope;
    std::vector<std::string> txt;  // "txtvers=1", "Manufacturer=...", ...
    std::function<void(const std::string&)> log = [](const std::string&) {};
};

// The TXT records of an instrument's announcement, for the gateway's
// identity.
std::vector<std::string> instrumentTxt(const std::string& manufacturer, const std::string& model,
                                       const std::string& serial, const std::string& version);

// "tm-gateway on HOST", no longer than a DNS-SD instance name may be.
std::string serviceName(const std::string& host);

class Announcer {
  public:
    explicit Announcer(AnnounceSettings settings);
    ~Announcer();
    Announcer(const Announcer&) = delete;
    Announcer& operator=(const Announcer&) = delete;

    // Starts announcing in the background; false (with the reason, logged)
    // only when not even Avahi's thread can start.
    bool start();
    // What is announced now, for the status page: "announced as ...",
    // "waiting for an Avahi daemon", ...
    std::string state() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> m;
};

}  // namespace gateway
