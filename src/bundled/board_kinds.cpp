#include "bundled/board_kinds.h"

#include <algorithm>
#include <cctype>

#include "adapters/adapter_board.h"
#include "platform/library_board.h"
#include "sim/bench.h"
#include "sim/bench_loader.h"
#include "vxi11/gateway_board.h"

namespace bundled {

namespace {

gpibdrv::BoardSetup setupFor(const MapBoard& m) {
    gpibdrv::BoardSetup s;
    s.index = m.index;
    s.name = m.name;
    s.pad = m.controllerAddress;
    return s;
}

std::string checkAdapter(const MapBoard& m) {
    if (m.port.empty() == m.host.empty())
        return "needs either a port: (a serial device) or a host: (a network adapter)";
    if (!m.host.empty() && m.baud != 115200)
        return "is a network adapter: baud: is for serial ones";
    return "";
}

BuiltBoard buildAdapter(const MapBoard& m, adapters::Flavour flavour) {
    adapters::AdapterOptions o;
    o.flavour = flavour;
    o.port = m.port;
    o.baud = m.baud;
    o.host = m.host;
    if (m.tcpPort)
        o.tcpPort = m.tcpPort;
    o.controllerAddress = m.controllerAddress;
    o.secondaries = m.secondaries;
    o.reads = m.reads == "fast"   ? adapters::ReadWay::Fast
              : m.reads == "safe" ? adapters::ReadWay::Safe
                                  : adapters::ReadWay::Probe;
    return {adapters::makeAdapterBoard(o), setupFor(m), ""};
}

std::string checkGateway(const MapBoard& m) {
    if (m.host.empty())
        return "needs a host: (the gateway's name or address)";
    if (m.interfaceName.empty())
        return "needs an interface: name (gpib0 on most gateways)";
    return "";
}

BuiltBoard buildGateway(const MapBoard& m, KindContext&) {
    vxi11::GatewayOptions o;
    o.host = m.host;
    o.interfaceName = m.interfaceName;
    o.corePort = m.corePort;
    o.controllerAddress = m.controllerAddress;
    return {vxi11::makeGatewayBoard(o), setupFor(m), ""};
}

platform::LibraryOptions libraryOptions(const MapBoard& m) {
    platform::LibraryOptions o;
    o.library = m.library;
    o.board = m.platformBoard;
    o.controllerAddress = m.controllerAddress;
    return o;
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::string checkNothing(const MapBoard&) {
    return "";
}

// A simulated board serves the board of the same name from its bench (the
// bench's first board when it has none of that name); its faults follow it.
BuiltBoard buildSimulated(const MapBoard& m, KindContext& k) {
    BuiltBoard built;
    auto& bus = k.benches[m.bench];
    if (!bus) {
        sim::LoadResult r = sim::loadBench(m.bench);
        if (!r.bench) {
            k.benches.erase(m.bench);
            built.problem = r.problem;
            return built;
        }
        for (const auto& n : r.bench->notes) k.notes.push_back(n);
        bus = std::make_shared<sim::SimBus>(std::move(*r.bench), k.instant);
    }
    const auto& boards = bus->definition().boards;
    auto def = std::find_if(boards.begin(), boards.end(),
                            [&](const sim::BoardDef& d) { return sameName(d.name, m.name); });
    if (def == boards.end())
        def = boards.begin();
    for (gpibdrv::FaultDef f : bus->definition().faults) {
        if (f.board && *f.board != def->index)
            continue;
        f.board = m.index;
        k.faults.push_back(f);
    }
    built.setup = sim::setupOf(*def);
    built.setup.index = m.index;
    built.setup.name = m.name;
    built.board = std::make_unique<sim::SimBoard>(bus, *def);
    return built;
}

const BoardKind kKinds[] = {
    {"prologix",
     {"port", "baud", "host", "tcp_port", "controller_address", "secondaries", "reads"},
     checkAdapter,
     [](const MapBoard& m, KindContext&) { return buildAdapter(m, adapters::Flavour::Prologix); }},
    {"ar488",
     {"port", "baud", "host", "tcp_port", "controller_address", "reads"},
     checkAdapter,
     [](const MapBoard& m, KindContext&) { return buildAdapter(m, adapters::Flavour::Ar488); }},
    {"simulated", {"bench"}, checkNothing, buildSimulated},
    {"vxi11", {"host", "interface", "core_port", "controller_address"}, checkGateway, buildGateway},
    {"library",
     {"library", "board", "controller_address"},
     [](const MapBoard& m) { return platform::checkLibraryOptions(libraryOptions(m)); },
     [](const MapBoard& m, KindContext&) -> BuiltBoard {
         return {platform::makeLibraryBoard(libraryOptions(m)), setupFor(m), ""};
     }},
};

}  // namespace

bool BoardKind::accepts(std::string_view setting) const {
    return std::find(settings.begin(), settings.end(), setting) != settings.end();
}

const BoardKind* findKind(std::string_view name) {
    for (const BoardKind& k : kKinds)
        if (name == k.name)
            return &k;
    return nullptr;
}

std::string kindNames() {
    std::string names;
    for (const BoardKind& k : kKinds) names += (names.empty() ? "" : ", ") + std::string(k.name);
    return names;
}

}  // namespace bundled
