#include "boards/boards_program.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "boards/boards_help.h"
#include "boards/edit_command.h"
#include "boards/find_command.h"
#include "boards/list_command.h"
#include "text/text.h"

namespace boards {

namespace {

CLI::Validator numberIn(long low, long high) {
    return CLI::Validator(
        [low, high](std::string& text) { return WholeNumberProblem(text, low, high); }, "");
}

int badCommandLine(const std::string& why) {
    std::fprintf(stderr, "tm-boards: %s\n(tm-boards --help lists the commands and options)\n",
                 why.c_str());
    return 2;
}

}  // namespace

int runBoards(int argc, char** argv) {
    CLI::App app("", "tm-boards");
    app.set_help_flag("--help,-h", "show this text");
    app.set_version_flag("--version", std::string("tm-boards ") + TM_VERSION)
        ->description("show the version");
    app.get_formatter()->column_width(30);
    app.require_subcommand(0, 1);
    app.fallthrough();

    std::string boardsFile;
    bool system = false, noOpen = false;
    app.add_option("--boards", boardsFile, "the board map to list or edit")->type_name("FILE");
    app.add_flag("--system", system, "add, remove: edit /etc/tarvel-morrow/boards.yaml");
    app.add_flag("--no-open", noOpen, "list the boards without opening them");

    CLI::App* list = app.add_subcommand("list", "list the boards (as no command does)");

    FindOptions f;
    CLI::App* find = app.add_subcommand("find", "list what could be a board");
    find->add_flag("--probe", f.probe, "ask each serial candidate ++ver (nothing else is written)");
    find->add_option("--host", f.hosts, "ask this host for gateways, repeatable (no broadcast)")
        ->type_name("HOST")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    find->add_option("--timeout", f.timeoutMs, "wait this long for answers (default 1000)")
        ->type_name("MS")
        ->check(numberIn(10, 60000));
    find->add_option("--portmapper-port", f.portmapperPort,
                     "where gateways' portmappers are asked (default 111)")
        ->type_name("N")
        ->check(numberIn(1, 65535));
    bool noSerial = false, noGateways = false, noLibraries = false, noBroadcast = false,
         noDnsSd = false;
    find->add_flag("--no-serial", noSerial, "leave serial adapters out");
    find->add_flag("--no-gateways", noGateways, "leave VXI-11 gateways out");
    find->add_flag("--no-libraries", noLibraries, "leave platform libraries out");
    find->add_flag("--no-broadcast", noBroadcast, "look for gateways without a broadcast");
    find->add_flag("--no-dns-sd", noDnsSd, "look for gateways without DNS-SD");
    find->add_option("--library", f.libraryNames, "look in this platform library, repeatable")
        ->type_name("NAME")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    find->add_flag("--tab", f.tab, "one finding a line, fields between tabs, for scripts");

    std::string name, kind;
    std::vector<std::string> settings;
    EditOptions e;
    CLI::App* add = app.add_subcommand("add", "add a board to the board map");
    add->add_option("board", name, "the board's name, GPIB0 to GPIB15")
        ->required()
        ->type_name("GPIBn");
    add->add_option("kind", kind, "prologix, ar488, simulated, vxi11 or library")
        ->required()
        ->type_name("KIND");
    add->add_option("settings", settings, "its settings, KEY=VALUE each")->type_name("KEY=VALUE");
    add->add_flag("--replace", e.replace, "replace a board of that name");
    CLI::App* remove = app.add_subcommand("remove", "remove a board from the board map");
    remove->add_option("board", name, "the board's name, GPIB0 to GPIB15")
        ->required()
        ->type_name("GPIBn");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(boardsHelp(app).c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& v) {
        std::printf("%s\n", v.what());
        return 0;
    } catch (const CLI::ParseError& error) {
        return badCommandLine(error.what());
    }
    if (!boardsFile.empty() && system)
        return badCommandLine("--boards and --system exclude each other");
    e.boardsFile = boardsFile;
    e.system = system;
    if (*add)
        return runAdd(e, name, kind, settings);
    if (*remove)
        return runRemove(e, name);
    if (*find) {
        f.serial = !noSerial;
        f.gateways = !noGateways;
        f.libraries = !noLibraries;
        f.broadcast = !noBroadcast;
        f.dnsSd = !noDnsSd;
        f.boardsFile = boardsFile;
        f.system = system;
        return runFind(f);
    }
    (void)list;
    return printListing(
        listBoards(system ? "/etc/tarvel-morrow/boards.yaml" : boardsFile, !noOpen));
}

}  // namespace boards
