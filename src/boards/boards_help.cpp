#include "boards/boards_help.h"

#include <CLI/CLI.hpp>

#include "bundled/board_kinds.h"

namespace boards {

namespace {

constexpr const char* kUsage =
    R"(Usage: tm-boards [--boards FILE] [--no-open] [list]
  or:  tm-boards find [--probe] [--host HOST]... [--timeout MS] [OPTIONS]
  or:  tm-boards [--boards FILE | --system] add GPIBn KIND [KEY=VALUE]... [--replace]
  or:  tm-boards [--boards FILE | --system] remove GPIBn
)";

constexpr const char* kDescription = R"(
Sets up the boards of the bundled GPIB driver without writing YAML. With no
command it lists the boards as the driver sees them, each opened as the
driver opens it. find lists what could be a board: serial adapters by their
names (and with --probe what each answers to ++ver), VXI-11 gateways on the
network by broadcast and DNS-SD with their interfaces, boards of an installed
platform library; each with the tm-boards add line that would use it. add and
remove write one board into the board map, or take it out, keeping every
other line and comment of the file as it is, and refuse what the driver
would refuse.

Commands:
  list                        the boards, kind, where, and open or why not
                              (also with no command)
  find                        what could be a board, with its add line
  add GPIBn KIND KEY=VALUE...
                              add a board to the board map
  remove GPIBn                take a board out of the board map
)";

constexpr const char* kFooter =
    R"(The settings are KEY=VALUE after the kind: the keys of the board map, whose
help page says what each means.

The board map is the one the driver reads: --boards FILE, else the file
$GPIB_BOARDS names, else your own ($XDG_CONFIG_HOME/tarvel-morrow/boards.yaml,
~/.config/tarvel-morrow/boards.yaml when that is unset), else the system's,
/etc/tarvel-morrow/boards.yaml. add and remove edit --boards FILE, else
$GPIB_BOARDS, else with --system the system's map, else your own, which add
makes when missing (as a copy of the system's when only that one exists,
since a map of your own replaces the system's). The file is written whole or
not at all: a new file beside it, renamed over it.

find --tab prints one finding a line, its fields between tabs: the kind, where
it is, how it was found, and the add line (or "in the map as GPIBn"); notes go
to standard error. Nothing is written to a serial device without --probe, and
then only ++ver. A gateway's interfaces are found by making a link to each
usual name (gpib0 ... gpib15, hpib), which puts nothing on its bus; a
tm-gateway lists its own.

Exit status:
  0  done
  1  refused (nothing written), a board that would not open, or nothing found
  2  a bad command line

Examples:
  tm-boards find
  tm-boards add GPIB0 ar488 port=/dev/serial/by-id/usb-1a86_USB2.0-Serial-if00-port0
  tm-boards add GPIB1 vxi11 host=lab-pc interface=gpib0
  tm-boards add GPIB2 prologix port=/dev/ttyUSB0 secondaries='{5: [1], 7: [2]}'
  tm-boards remove GPIB2
)";

// The named options of a command, as the command line defines them; a
// command's own --help is the one of the whole.
std::string options(const CLI::App& app, bool withHelp) {
    CLI::Formatter format;
    format.column_width(30);
    std::string text;
    for (const CLI::Option* o : app.get_options())
        if (!o->get_lnames().empty() && (withHelp || o != app.get_help_ptr()))
            text += format.make_option(o, false);
    return text;
}

// "  vxi11      host interface core_port controller_address", from the
// driver's own table of kinds.
std::string kindSettings() {
    std::string kinds;
    std::string names = bundled::kindNames() + ", ";
    for (size_t at = 0, comma; (comma = names.find(", ", at)) != std::string::npos;
         at = comma + 2) {
        const std::string kind = names.substr(at, comma - at);
        std::string line = "  " + kind + std::string(kind.size() < 11 ? 11 - kind.size() : 1, ' ');
        for (std::string_view s : bundled::findKind(kind)->settings) line += std::string(s) + " ";
        line.pop_back();
        kinds += line + "\n";
    }
    return kinds;
}

}  // namespace

std::string boardsHelp(const CLI::App& app) {
    std::string text = std::string(kUsage) + kDescription + "\nOptions:\n" + options(app, true);
    for (const CLI::App* sub : app.get_subcommands({})) {
        std::string own = options(*sub, false);
        if (!own.empty())
            text += "\nOptions of " + sub->get_name() + ":\n" + own;
    }
    return text + "\nSettings of each kind:\n" + kindSettings() + "\n" + kFooter;
}

}  // namespace boards
