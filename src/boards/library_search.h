#pragma once
// Boards of the installed platform GPIB libraries (linux-gpib, NI-488.2): each
// library the board map's library kind would load, and each of its board
// indices 0-15 that answers a question which puts nothing on the bus (the
// board's own address).

#include <string>
#include <vector>

namespace boards {

struct LibraryBoardFound {
    std::string library;  // as it was named: "libgpib.so.0", or a path
    std::string path;     // the file that loaded
    std::string family;   // "linux-gpib" or "NI"
    int board = 0;
    int pad = -1;  // the board's own primary address, -1 when not said
};

struct LibrarySearch {
    std::vector<LibraryBoardFound> boards;
    std::vector<std::string> notes;  // libraries not installed or refused, one each
};

// names: the libraries to look in; empty for the usual ones.
LibrarySearch findLibraryBoards(const std::vector<std::string>& names);

}  // namespace boards
