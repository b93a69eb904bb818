#pragma once
// The kinds of board a board map may name: the settings each takes, what each
// needs, and how each is built. A new kind is one more row of the table in
// board_kinds.cpp; the others do not change.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bundled/board_map.h"
#include "driver/driver.h"
#include "sim/sim_board.h"

namespace bundled {

// What building the boards of one map shares: simulated boards of one bench
// file share its bus, its faults and its notes.
struct KindContext {
    bool instant = false;
    std::map<std::string, std::shared_ptr<sim::SimBus>> benches;  // by file ("" built-in)
    std::vector<gpibdrv::FaultDef> faults;
    std::vector<std::string> notes;
};

struct BuiltBoard {
    std::unique_ptr<gpibdrv::Board> board;  // empty when it could not be built
    gpibdrv::BoardSetup setup;
    std::string problem;
};

struct BoardKind {
    const char* name;
    std::vector<std::string_view> settings;  // beside kind:
    // What a board of this kind lacks ("needs a port: or a host:"), or "".
    std::string (*check)(const MapBoard&);
    BuiltBoard (*build)(const MapBoard&, KindContext&);

    bool accepts(std::string_view setting) const;
};

const BoardKind* findKind(std::string_view name);
// "prologix, ar488, simulated, vxi11", for messages.
std::string kindNames();

}  // namespace bundled
