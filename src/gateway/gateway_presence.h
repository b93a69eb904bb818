#pragma once
// How the gateway is found and seen on the network: its DNS-SD
// announcements (Announcer) and its status page (StatusPage), built from
// what the core, the service and the sockets know. The page's port is bound
// with the others, before the privileges go; both start once the gateway
// serves, and neither holds up start-up or serving.

#include <functional>
#include <memory>
#include <string>

#include "gateway/announcer.h"
#include "gateway/gateway_core.h"
#include "gateway/gateway_server.h"
#include "gateway/gateway_service.h"
#include "gateway/status_page.h"

namespace gateway {

struct PresenceSettings {
    std::string listen;
    int httpPort = -1;  // -1: no page; 0: any free port
    bool announce = true;
    net::AllowList allow;
    IdentityFields identity;
    std::function<void(const std::string&)> log = [](const std::string&) {};
};

class Presence {
  public:
    Presence(PresenceSettings settings, GatewayCore& core, GatewayServer& server);
    ~Presence();

    bool bind(std::string& problem);
    int httpPort() const { return m_page ? m_page->port() : 0; }
    bool start(GatewayService& service, std::string& problem);
    // The page first: what it asks of the core ends before the core does.
    void stop();

  private:
    std::string statusJson();
    PageAnswer search(int board);
    PageAnswer identify(int board, gpibdrv::BusAddress at);

    PresenceSettings m_settings;
    GatewayCore& m_core;
    GatewayServer& m_server;
    std::unique_ptr<StatusPage> m_page;
    std::unique_ptr<Announcer> m_announcer;
    GatewayService* m_service = nullptr;
    std::string m_announcement;  // why nothing is announced
};

}  // namespace gateway
