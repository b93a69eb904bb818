#pragma once
// Adding, replacing and removing one board of a board map as text, so that
// every other line of the file, comments and blank lines included, stays as
// it was byte for byte (a YAML library would drop the comments when writing
// the file back).
//
// The editor only splices whole lines into the "boards:" block, and it
// trusts nothing it did: the edited text is loaded with the board map's own
// reader, and the edit is given up unless every other board and device reads
// exactly as before and the new board exactly as asked. A map laid out in a
// way the editor does not handle (flow style, tabs in the indentation) is
// refused with the reason rather than risked.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace boards {

// A board as tm-boards add takes it: "GPIB3", "vxi11", host=..., ...
struct NewBoard {
    std::string name;
    std::string kind;
    std::vector<std::pair<std::string, std::string>> settings;  // key, value as typed
};

struct EditOutcome {
    bool ok = false;
    std::string text;     // the whole edited file, when ok
    std::string problem;  // why nothing can be written, when not ok
    std::string was;      // add --replace and remove: the entry's old lines, trimmed
};

// The value as it goes into the file: as typed where YAML reads it back as
// that same text (or, for secondaries, the flow mapping it is), else in
// double quotes. "" with problem set for what cannot go on one line.
std::string yamlValue(const std::string& key, const std::string& value, std::string& problem);

// The map text with the board added (replacing a board of the same number
// when replace is set); text may be empty or hold only comments, for a new
// map. path names the file in messages and places relative bench files.
EditOutcome addBoard(std::string_view text, const std::string& path, const NewBoard& board,
                     bool replace);

// The map text without the board GPIBn (name as typed: "GPIB2", "gpib2").
EditOutcome removeBoard(std::string_view text, const std::string& path, const std::string& name);

}  // namespace boards
