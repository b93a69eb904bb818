#include "gateway/status_report.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <map>

#include "gateway/status_page.h"

namespace gateway {

namespace {

std::string member(const char* name, const std::string& jsonValue) {
    return jsonString(name) + ": " + jsonValue;
}

std::string text(const char* name, const std::string& value) {
    return member(name, jsonString(value));
}

std::string number(const char* name, long long value) {
    return member(name, std::to_string(value));
}

std::string flag(const char* name, bool value) {
    return member(name, value ? "true" : "false");
}

template <typename T, typename F>
std::string array(const std::vector<T>& items, F each) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + each(items[i]);
    return out + "]";
}

std::string object(std::initializer_list<std::string> members) {
    std::string out = "{";
    bool first = true;
    for (const std::string& m : members) {
        out += (first ? "" : ", ") + m;
        first = false;
    }
    return out + "}";
}

}  // namespace

std::string boardJson(const BoardView& b) {
    return object({number("index", b.index), text("name", b.name), text("link", linkName(b.index)),
                   text("description", b.description), flag("open", b.open),
                   text("problem", b.problem), number("searchedAt", b.searchedAt),
                   text("searchProblem", b.searchProblem),
                   member("instruments", array(b.found, [&](const gpibdrv::BusAddress& a) {
                              return object({text("link", linkName(b.index, &a)),
                                             number("pad", a.pad), number("sad", a.sad)});
                          }))});
}

std::string statusJson(const StatusParts& s) {
    const GatewayFacts& g = s.gateway;
    const std::string gateway =
        object({text("name", g.name), text("idn", g.idn), text("version", g.version),
                text("listen", g.listen),
                member("addresses",
                       array(g.addresses, [](const std::string& a) { return jsonString(a); })),
                number("corePort", g.corePort), number("abortPort", g.abortPort),
                number("httpPort", g.httpPort), text("portmapper", g.portmapper),
                text("allow", g.allow), text("announcement", s.announcement)});
    // Each connection with the links it made; a link whose connection has
    // just gone is still shown, under its own number.
    std::map<int, std::vector<const LinkView*>> linksOf;
    for (const LinkView& l : s.core.links) linksOf[l.connection].push_back(&l);
    std::vector<ConnectionView> connections = s.connections;
    for (const auto& [id, links] : linksOf)
        if (std::none_of(connections.begin(), connections.end(),
                         [id = id](const ConnectionView& c) { return c.id == id; }))
            connections.push_back({id, links.front()->peer, "core"});
    const std::string clients = array(connections, [&](const ConnectionView& c) {
        return object({number("connection", c.id), text("peer", c.peer), text("channel", c.channel),
                       member("links", array(linksOf[c.id], [](const LinkView* l) {
                                  return object({number("lid", l->lid), text("target", l->target),
                                                 flag("locked", l->locked)});
                              }))});
    });
    const std::string calls = array(s.calls, [](const auto& call) {
        return object({text("name", call.first), number("count", (long long)call.second)});
    });
    const std::string refused = object({number("notAllowed", (long long)s.refusedNotAllowed),
                                        number("full", (long long)s.refusedFull),
                                        number("page", (long long)s.refusedByPage)});
    return object({member("gateway", gateway), member("boards", array(s.core.boards, boardJson)),
                   member("clients", clients), member("calls", calls),
                   member("refused", refused)}) +
           "\n";
}

std::vector<std::string> reachableAddresses(const std::string& listen) {
    if (listen != "0.0.0.0" && listen != "::")
        return {listen};
    std::vector<std::string> all;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return {listen};
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr)
            continue;
        char text[INET6_ADDRSTRLEN] = "";
        const int family = i->ifa_addr->sa_family;
        if (family == AF_INET) {
            const in_addr a = reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr;
            if ((ntohl(a.s_addr) >> 24) != 127)
                inet_ntop(AF_INET, &a, text, sizeof text);
        } else if (family == AF_INET6 && listen == "::") {
            const in6_addr a = reinterpret_cast<sockaddr_in6*>(i->ifa_addr)->sin6_addr;
            if (!IN6_IS_ADDR_LOOPBACK(&a) && !IN6_IS_ADDR_LINKLOCAL(&a))
                inet_ntop(AF_INET6, &a, text, sizeof text);
        }
        if (*text)
            all.push_back(text);
    }
    freeifaddrs(list);
    return all.empty() ? std::vector<std::string>{listen} : all;
}

}  // namespace gateway
