#include "gateway/gateway_presence.h"

#include "abi/gpib_abi.h"
#include "gateway/status_report.h"
#include "net/monotonic.h"

namespace gateway {

namespace {

// How long a person's action may wait for its bus (behind the clients'
// operations), and how long an instrument has for its *IDN? answer.
constexpr int64_t kSearchBusWaitUs = 5'000'000;
constexpr int64_t kIdentifyUs = 3'000'000;

}  // namespace

Presence::Presence(PresenceSettings settings, GatewayCore& core, GatewayServer& server)
    : m_settings(std::move(settings)), m_core(core), m_server(server) {}

Presence::~Presence() {
    stop();
}

bool Presence::bind(std::string& problem) {
    if (m_settings.httpPort < 0)
        return true;
    PageSettings page;
    page.allow = m_settings.allow;
    page.hostName = m_settings.identity.serial;
    page.log = m_settings.log;
    // Asked only once the page serves, which is after start() set m_service.
    m_page = std::make_unique<StatusPage>(
        page, PageActions{[this] { return statusJson(); }, [this](int b) { return search(b); },
                          [this](int b, gpibdrv::BusAddress at) { return identify(b, at); }});
    if (!m_page->bind(m_settings.listen, m_settings.httpPort, problem)) {
        problem = "--http: " + problem;
        return false;
    }
    return true;
}

bool Presence::start(GatewayService& service, std::string& problem) {
    m_service = &service;
    if (m_page) {
        if (!m_page->start(problem))
            return false;
        m_settings.log("status page on port " + std::to_string(m_page->port()));
    }
    if (!m_settings.announce) {
        m_announcement = "off (--no-announce)";
        return true;
    }
    const AnnounceScope scope = announceScope(m_settings.listen);
    if (!scope.announce) {
        m_announcement = "not announced: " + scope.why;
        m_settings.log(m_announcement);
        return true;
    }
    const IdentityFields& id = m_settings.identity;
    AnnounceSettings a;
    a.name = serviceName(id.serial);
    a.vxi11Port = m_server.portmapperPort();
    a.httpPort = httpPort();
    a.scope = scope;
    a.txt = instrumentTxt(id.manufacturer, id.model, id.serial, id.version);
    a.log = m_settings.log;
    if (!a.vxi11Port && !a.httpPort) {
        m_announcement = "not announced: no portmapper and no page to point at";
        m_settings.log(m_announcement);
        return true;
    }
    m_announcer = std::make_unique<Announcer>(a);
    m_announcer->start();
    return true;
}

void Presence::stop() {
    if (m_page)
        m_page->stop();
    m_announcer.reset();
}

std::string Presence::statusJson() {
    StatusParts s;
    const IdentityFields& id = m_settings.identity;
    s.gateway.name = serviceName(id.serial);
    s.gateway.idn = id.manufacturer + "," + id.model + "," + id.serial + "," + id.version;
    s.gateway.version = id.version;
    s.gateway.listen = m_settings.listen;
    s.gateway.addresses = reachableAddresses(m_settings.listen);
    s.gateway.corePort = m_server.ports().core;
    s.gateway.abortPort = m_server.ports().abort;
    s.gateway.httpPort = httpPort();
    s.gateway.portmapper = m_server.portmapperNote();
    s.gateway.allow = m_settings.allow.describe();
    s.announcement = m_announcer ? m_announcer->state() : m_announcement;
    s.core = m_core.view();
    s.connections = m_server.connections();
    s.calls = m_service->callCounts();
    s.refusedNotAllowed = m_server.refusedNotAllowed();
    s.refusedFull = m_server.refusedFull();
    s.refusedByPage = m_page ? m_page->refused() : 0;
    return gateway::statusJson(s);
}

PageAnswer Presence::search(int board) {
    std::string problem;
    const int err = m_core.searchListeners(board, net::monotonicUs() + kSearchBusWaitUs, problem);
    if (err == GPIB_EARG)
        return {404, "{\"error\": " + jsonString(problem) + "}\n"};
    for (const BoardView& b : m_core.view().boards)
        if (b.index == board)
            return {200, boardJson(b) + "\n"};
    return {404, "{\"error\": \"no such board\"}\n"};
}

PageAnswer Presence::identify(int board, gpibdrv::BusAddress at) {
    std::string answer;
    const int err = m_core.askIdentity(board, at, net::monotonicUs() + kIdentifyUs, answer);
    if (err == gpibdrv::kDone)
        return {200, "{\"idn\": " + jsonString(answer) + "}\n"};
    const int status = err == GPIB_EARG ? 404 : err == GPIB_EABO ? 504 : 502;
    return {status, "{\"error\": " + jsonString(answer) + "}\n"};
}

}  // namespace gateway
