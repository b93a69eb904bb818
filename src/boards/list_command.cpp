#include "boards/list_command.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <future>

#include "abi/bundled_driver.h"
#include "bundled/board_map.h"
#include "bundled/configuration.h"

namespace boards {

namespace {

std::string whereOf(const bundled::MapBoard& b) {
    if (b.kind == "prologix" || b.kind == "ar488") {
        if (!b.port.empty())
            return b.port + (b.baud != 115200 ? " at " + std::to_string(b.baud) + " baud" : "");
        return b.host + ":" + std::to_string(b.tcpPort ? b.tcpPort : 1234);
    }
    if (b.kind == "simulated")
        return b.bench.empty() ? "built-in bench" : b.bench;
    if (b.kind == "vxi11")
        return b.host + ", interface " + b.interfaceName +
               (b.corePort ? ", core port " + std::to_string(b.corePort) : "");
    if (b.kind == "library")
        return "board " + b.platformBoard + " of " +
               (b.library.empty() ? "the platform library" : b.library);
    return "";
}

// Opens every listed board of the driver at once: an adapter that takes its
// timeout to fail holds up no other board.
void openAll(gpibdrv::Driver& driver, std::vector<ListedBoard>& listed,
             const std::vector<int>& indices) {
    std::vector<std::future<void>> opening;
    for (size_t i = 0; i < listed.size(); ++i) {
        gpibdrv::Board* board = driver.board(indices[i]);
        ListedBoard& l = listed[i];
        if (!board) {
            l.state = "not open: the driver has no such board";
            continue;
        }
        opening.push_back(std::async(std::launch::async, [board, &l] {
            std::string reason;
            l.open = board->open(reason) == gpibdrv::kDone;
            l.state = l.open ? "open: " + board->describe()
                             : "not open: " + (reason.empty() ? board->describe() : reason);
        }));
    }
    for (auto& o : opening) o.get();
}

std::string noMapSource() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string personal = xdg && *xdg ? std::string(xdg) + "/tarvel-morrow/boards.yaml"
                                       : "~/.config/tarvel-morrow/boards.yaml";
    return "no board map ($GPIB_BOARDS is not set, and there is none at " + personal + " or " +
           "/etc/tarvel-morrow/boards.yaml)";
}

void listWithoutMap(BoardListing& l, bool open) {
    l.source = noMapSource();
    const char* bench = std::getenv("GPIB_SIM_BENCH");
    const std::string benchFile = bench ? bench : "";
    bundled::Configuration c;
    if (open) {
        c = bundled::environmentConfiguration(true);
    } else {
        for (const std::string& device : bundled_driver::prologixCandidates())
            l.notes.push_back(device +
                              " becomes GPIB0 if it answers like a Prologix (not asked: "
                              "--no-open)");
        c = bundled::benchConfiguration(benchFile, true);
    }
    if (!c.driver) {
        l.problem = c.description;
        return;
    }
    l.notes.push_back("without a map the driver serves: " + c.description);
    const bool adapter = c.description.rfind("adapter", 0) == 0;
    std::vector<int> indices;
    for (int i = 0; i < 16; ++i)
        if (const gpibdrv::BoardSetup* s = c.driver->setup(i)) {
            l.boards.push_back({s->name, adapter ? "prologix" : "simulated",
                                adapter ? c.description.substr(c.description.find(" at ") + 4)
                                : benchFile.empty() ? "built-in bench"
                                                    : benchFile,
                                "", false});
            indices.push_back(i);
        }
    if (open)
        openAll(*c.driver, l.boards, indices);
}

}  // namespace

BoardListing listBoards(const std::string& path, bool open) {
    BoardListing l;
    const std::string map = path.empty() ? bundled_driver::boardMapPath() : path;
    if (map.empty()) {
        listWithoutMap(l, open);
        return l;
    }
    bundled::BoardMapResult r = bundled::loadBoardMap(map);
    if (!r.map) {
        l.problem = r.problem;
        return l;
    }
    l.source = "board map " + map;
    std::vector<int> indices;
    auto boards = r.map->boards;
    std::sort(boards.begin(), boards.end(),
              [](const auto& a, const auto& b) { return a.index < b.index; });
    for (const bundled::MapBoard& b : boards) {
        l.boards.push_back({b.name, b.kind, whereOf(b), "", false});
        indices.push_back(b.index);
    }
    if (!open)
        return l;
    bundled::Configuration c = bundled::boardMapConfiguration(map, true);
    if (!c.driver) {
        l.problem = c.description;
        return l;
    }
    l.notes = c.notes;
    openAll(*c.driver, l.boards, indices);
    return l;
}

int printListing(const BoardListing& l) {
    if (!l.problem.empty()) {
        std::fprintf(stderr, "tm-boards: %s\n", l.problem.c_str());
        return 1;
    }
    std::printf("%s\n", l.source.c_str());
    size_t name = 0, kind = 0, where = 0;
    for (const ListedBoard& b : l.boards) {
        name = std::max(name, b.name.size());
        kind = std::max(kind, b.kind.size());
        where = std::max(where, b.where.size());
    }
    bool allOpen = true;
    for (const ListedBoard& b : l.boards) {
        std::string line = "  " + b.name + std::string(name - b.name.size() + 2, ' ') + b.kind +
                           std::string(kind - b.kind.size() + 2, ' ') + b.where;
        if (!b.state.empty())
            line += std::string(where - b.where.size() + 2, ' ') + b.state;
        std::printf("%s\n", line.c_str());
        allOpen = allOpen && (b.open || b.state.empty());
    }
    for (const std::string& n : l.notes) std::printf("  (%s)\n", n.c_str());
    std::fflush(stdout);
    return allOpen ? 0 : 1;
}

}  // namespace boards
