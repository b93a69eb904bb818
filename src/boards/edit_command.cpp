#include "boards/edit_command.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "boards/board_map_edit.h"
#include "boards/map_file.h"
#include "bundled/board_map.h"

namespace boards {

namespace {

// What a new map starts with: who edits it, so that a person opening it
// knows comments of theirs are safe.
constexpr const char* kNewMapHeader =
    "# The boards of the bundled GPIB driver (tm-boards lists, adds and removes them;\n"
    "# it keeps every other line of this file as it is).\n";

int refuse(const std::string& path, const std::string& why) {
    std::fprintf(stderr, "tm-boards: nothing written to %s: %s\n", path.c_str(), why.c_str());
    return 1;
}

std::optional<NewBoard> parseBoard(const std::string& name, const std::string& kind,
                                   const std::vector<std::string>& settings, std::string& problem) {
    std::optional<int> index = bundled::boardIndex(name);
    if (!index) {
        problem = "\"" + name + "\" is not a board name (GPIB0 to GPIB15)";
        return std::nullopt;
    }
    NewBoard b{"GPIB" + std::to_string(*index), kind, {}};
    for (const std::string& s : settings) {
        const size_t eq = s.find('=');
        const std::string key = s.substr(0, eq);
        if (eq == std::string::npos || key.empty() ||
            !std::all_of(key.begin(), key.end(),
                         [](char c) { return std::islower(c) || c == '_'; })) {
            problem = "\"" + s + "\" is no setting: write KEY=VALUE, as port=/dev/ttyUSB0";
            return std::nullopt;
        }
        if (key == "kind") {
            problem = "the kind is the word after the board's name, not a setting";
            return std::nullopt;
        }
        if (std::any_of(b.settings.begin(), b.settings.end(),
                        [&](const auto& kv) { return kv.first == key; })) {
            problem = key + "= is given twice";
            return std::nullopt;
        }
        std::string value = yamlValue(key, s.substr(eq + 1), problem);
        if (value.empty())
            return std::nullopt;
        b.settings.emplace_back(key, value);
    }
    return b;
}

// The file to edit, and the text the edit starts from.
bool startingText(const EditOptions& o, MapFile& file, std::string& text, std::string& note,
                  std::string& problem) {
    MapPlace place = editPlace(o.boardsFile, o.system);
    if (!place.problem.empty()) {
        problem = place.problem;
        return false;
    }
    if (!readMapFile(place.path, file, problem)) {
        problem = place.path + " " + problem;
        return false;
    }
    text = file.text;
    if (file.exists || place.seedFrom.empty()) {
        if (!file.exists)
            text = kNewMapHeader;
        return true;
    }
    MapFile seed;
    if (!readMapFile(place.seedFrom, seed, problem)) {
        problem = place.seedFrom + " " + problem;
        return false;
    }
    // A bench file named relative to the system's folder would be looked
    // for beside the copy instead.
    auto there = bundled::loadBoardMapText(seed.text, place.seedFrom);
    auto here = bundled::loadBoardMapText(seed.text, place.path);
    if (!there.map || !here.map || there.map->boards != here.map->boards) {
        problem = "your board map would start as a copy of " + place.seedFrom +
                  ", which then reads differently (a bench file named relative to its folder); "
                  "copy it to " +
                  place.path + " yourself, or edit it with --system";
        return false;
    }
    text = seed.text;
    note = "(new, a copy of " + place.seedFrom + ": a map of your own replaces the system's)";
    return true;
}

// "GPIB2 added to PATH", and what the entry was when one went.
void show(const std::string& done, const MapFile& file, const std::string& note,
          const std::string& was) {
    std::string where = file.path;
    if (file.target != file.path)
        where += " (a link to " + file.target + ")";
    std::printf("%s %s%s\n", done.c_str(), where.c_str(), note.empty() ? "" : (" " + note).c_str());
    if (!was.empty())
        std::printf("  it was: %s\n", was.c_str());
}

}  // namespace

int runAdd(const EditOptions& o, const std::string& name, const std::string& kind,
           const std::vector<std::string>& settings) {
    std::string problem, text, note;
    MapFile file;
    if (!startingText(o, file, text, note, problem))
        return refuse(file.path.empty() ? "the board map" : file.path, problem);
    std::optional<NewBoard> board = parseBoard(name, kind, settings, problem);
    if (!board)
        return refuse(file.path, problem);
    EditOutcome e = addBoard(text, file.path, *board, o.replace);
    if (!e.ok)
        return refuse(file.path, e.problem);
    if (!writeMapFile(file, e.text, problem))
        return refuse(file.path, problem);
    show(board->name + (e.was.empty() ? " added to" : " replaced in"), file, note, e.was);
    std::printf("  kind: %s\n", board->kind.c_str());
    for (const auto& [key, value] : board->settings)
        std::printf("  %s: %s\n", key.c_str(), value.c_str());
    return 0;
}

int runRemove(const EditOptions& o, const std::string& name) {
    std::string problem, text, note;
    MapFile file;
    if (!startingText(o, file, text, note, problem))
        return refuse(file.path.empty() ? "the board map" : file.path, problem);
    if (!file.exists && note.empty())
        return refuse(file.path, "there is no board map here");
    EditOutcome e = removeBoard(text, file.path, name);
    if (!e.ok)
        return refuse(file.path, e.problem);
    if (!writeMapFile(file, e.text, problem))
        return refuse(file.path, problem);
    std::optional<int> index = bundled::boardIndex(name);
    show("GPIB" + std::to_string(*index) + " removed from", file, note, e.was);
    return 0;
}

}  // namespace boards
