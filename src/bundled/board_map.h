#pragma once
// The board map: which GPIBn name is which board, and of what kind.
//
//   boards:
//     GPIB0:
//       kind: prologix          # prologix | ar488 | simulated | vxi11 | library
//       port: /dev/ttyUSB0      # a serial device ... or host: and tcp_port:
//       baud: 115200
//       controller_address: 0
//       secondaries: {5: [1]}   # probed by the Prologix listener check
//       reads: probe            # probe | fast | safe (adapters/read_tracker.h)
//     GPIB1:
//       kind: simulated
//       bench: my-bench.yaml    # the built-in bench when absent
//     GPIB2:
//       kind: library           # an installed platform library's board
//       board: 0                # its index, or its name there
//       library: libgpib.so.0   # the platform libraries in turn when absent
//   devices:                    # names ibfind opens (board_map_devices.h)
//     dmm: {board: GPIB0, pad: 9}
//
// A map that cannot serve as a whole is refused with one sentence naming the
// file, the line and the reason; an unknown key is refused too, since a
// misspelt "port" would otherwise quietly open the wrong device.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/board.h"

namespace bundled {

struct MapBoard {
    std::string name;  // as the map writes it: "GPIB0"
    int index = 0;
    std::string kind;
    int line = 0;
    std::string port;  // adapters: a serial device ...
    int baud = 115200;
    std::string host;  // ... or a network host (adapters, gateways)
    int tcpPort = 0;   // 0: the kind's usual port
    int controllerAddress = 0;
    std::vector<gpibdrv::BusAddress> secondaries;
    std::string reads = "probe";          // adapters: how reads are asked
    std::string bench;                    // simulated: the bench file ("" for the built-in one)
    std::string interfaceName = "gpib0";  // gateways
    int corePort = 0;                     // gateways: 0 asks the portmapper
    std::string library;                  // platform boards: "" searches the usual names
    std::string platformBoard;            // platform boards: the index or name there

    // Same board, settings and place in the file alike.
    bool operator==(const MapBoard&) const = default;
};

// A device ibfind opens by name (see board_map_devices.h).
struct MapDevice {
    std::string name;
    std::string boardName;
    int board = 0;
    int pad = 0;
    int sad = 0;  // 0 for none, else 0x60-0x7E as ibdev takes it
    int timeoutCode = 13;
    int eos = 0;
    bool eot = true;
    int line = 0;

    bool operator==(const MapDevice&) const = default;
};

struct BoardMap {
    std::string path;
    std::vector<MapBoard> boards;
    std::vector<MapDevice> devices;
};

struct BoardMapResult {
    std::optional<BoardMap> map;
    std::string problem;  // the refusal, for the operator, when map is empty
    // The same refusal in its parts: the line (0 for the whole file) and the
    // reason alone, for a tool that shows it against a text of its own.
    int line = 0;
    std::string reason;
};

// "GPIB0" to "GPIB15", in any case: the index ("GPIB01" is no board name).
std::optional<int> boardIndex(const std::string& name);

// Files larger than this are refused unread.
constexpr size_t kMaxBoardMapBytes = 1024 * 1024;

BoardMapResult loadBoardMap(const std::string& path);
// path names the text in messages; a relative bench file is found beside it.
BoardMapResult loadBoardMapText(std::string_view text, const std::string& path);

}  // namespace bundled
