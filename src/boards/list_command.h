#pragma once
// tm-boards with no command: the boards as the bundled driver sees them, from
// the board map it reads (or, without one, what it serves instead), each
// opened as the driver opens it, or not with --no-open.

#include <string>
#include <vector>

namespace boards {

struct ListedBoard {
    std::string name;  // GPIB0
    std::string kind;
    std::string where;
    std::string state;  // "open: ...", "not open: ...", or "" when not opened
    bool open = false;
};

struct BoardListing {
    std::string source;   // "board map PATH", or what serves without one
    std::string problem;  // the map's refusal
    std::vector<ListedBoard> boards;
    std::vector<std::string> notes;
};

// The boards of the map at path ("" : where the driver looks), opened each
// at once and side by side when open is set.
BoardListing listBoards(const std::string& path, bool open);

// Prints the listing; 0 when every board listed opened (or none was
// opened), 1 when the map is refused or a board would not open.
int printListing(const BoardListing& listing);

}  // namespace boards
