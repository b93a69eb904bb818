#include "bundled/configuration.h"

#include <cstdlib>

#include "abi/bundled_driver.h"
#include "adapters/adapter_board.h"
#include "bundled/board_kinds.h"
#include "bundled/board_map.h"
#include "sim/bench.h"
#include "sim/bench_loader.h"

namespace bundled {

Configuration benchConfiguration(const std::string& path, bool instant) {
    sim::LoadResult r = sim::loadBench(path);
    Configuration c;
    if (!r.bench) {
        c.description = r.problem;
        return c;
    }
    c.notes = r.bench->notes;
    c.description = "simulated bench, " + r.bench->source;
    auto bench = std::make_unique<sim::Bench>(std::move(*r.bench), instant);
    c.instantTiming = bench->clock().instant();
    c.driver = std::move(bench);
    return c;
}

Configuration boardMapConfiguration(const std::string& path, bool instant) {
    Configuration c;
    BoardMapResult r = loadBoardMap(path);
    if (!r.map) {
        c.description = r.problem;
        return c;
    }
    KindContext k;
    k.instant = instant;
    auto driver = std::make_unique<gpibdrv::Driver>();
    for (const MapBoard& b : r.map->boards) {
        BuiltBoard built = findKind(b.kind)->build(b, k);
        if (!built.board) {
            c.description = "board map " + path + ", line " + std::to_string(b.line) + ": " +
                            b.name + ": " + built.problem;
            return c;
        }
        driver->addBoard(built.setup, std::move(built.board));
        if (!b.port.empty())
            c.devices.push_back(b.port);
    }
    for (const MapDevice& d : r.map->devices)
        driver->addDevice({d.name, d.board, d.pad, d.sad, d.timeoutCode, d.eot, d.eos});
    driver->setFaults(std::move(k.faults));
    for (const auto& [file, bus] : k.benches)
        c.instantTiming = c.instantTiming || bus->clock().instant();
    c.notes = std::move(k.notes);
    c.description = "board map " + path;
    c.describeOpenBoard = true;
    c.driver = std::move(driver);
    return c;
}

namespace {

// An adapter plugged in without a board map: GPIB0 is the first one whose
// device name says Prologix and that answers like one. Nothing is written to
// any other serial device.
Configuration recognisedAdapter() {
    Configuration c;
    for (const std::string& device : bundled_driver::prologixCandidates()) {
        if (adapters::probeAdapter(device, 115200, adapters::Flavour::Prologix, 500).empty())
            continue;
        adapters::AdapterOptions o;
        o.port = device;
        auto driver = std::make_unique<gpibdrv::Driver>();
        driver->addBoard({0, "GPIB0"}, adapters::makeAdapterBoard(o));
        c.description = "adapter recognised at " + device;
        c.describeOpenBoard = true;
        c.driver = std::move(driver);
        break;
    }
    return c;
}

}  // namespace

Configuration environmentConfiguration(bool instant) {
    if (std::string map = bundled_driver::boardMapPath(); !map.empty())
        return boardMapConfiguration(map, instant);
    if (Configuration adapter = recognisedAdapter(); adapter.driver)
        return adapter;
    const char* bench = std::getenv("GPIB_SIM_BENCH");
    return benchConfiguration(bench ? bench : "", instant);
}

}  // namespace bundled
