#pragma once
// The gateway's state as the status page reads it (JSON): the gateway, its
// boards with the instruments last found, the clients with their links and
// locks, and the counts of calls and refusals. Every text in it, a client's
// or an instrument's included, is escaped (jsonString).

#include <string>
#include <utility>
#include <vector>

#include "gateway/gateway_core.h"
#include "gateway/gateway_server.h"

namespace gateway {

struct GatewayFacts {
    std::string name;  // "tm-gateway on lab-pc"
    std::string idn;
    std::string version;
    std::string listen;
    std::vector<std::string> addresses;  // where clients reach it
    int corePort = 0, abortPort = 0, httpPort = 0;
    std::string portmapper;  // "portmapper on 0.0.0.0:111"
    std::string allow;       // the allowed networks
};

struct StatusParts {
    GatewayFacts gateway;
    std::string announcement;  // what DNS-SD says of it
    CoreView core;
    std::vector<ConnectionView> connections;
    std::vector<std::pair<std::string, unsigned long>> calls;
    unsigned long refusedNotAllowed = 0, refusedFull = 0, refusedByPage = 0;
};

std::string statusJson(const StatusParts& s);
// One board as the status shows it, for the answer to a search.
std::string boardJson(const BoardView& b);

// The addresses of this machine a client may use for listen: the address
// itself, or every address that is not loopback for 0.0.0.0 and ::.
std::vector<std::string> reachableAddresses(const std::string& listen);

}  // namespace gateway
