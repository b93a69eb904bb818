#pragma once
// A board served by an installed platform GPIB library (linux-gpib's
// libgpib.so.0, NI's library) through its traditional "ib" calls: one kind of
// board of the bundled driver, so that a platform board sits in the board map
// beside adapters and gateways, and whatever the driver core serves can share it.

#include <memory>
#include <string>
#include <vector>

#include "driver/board.h"

namespace platform {

// The platform drivers the program's own loader tries by bare name, in its
// order (src/gpib/driver_library.cpp): a board that names no library searches
// the same names the same way, through the system's library search only.
inline const std::vector<std::string>& platformLibraryNames() {
    static const std::vector<std::string> names{"libgpib.so.0", "libni4882.so", "libgpibapi.so"};
    return names;
}

struct LibraryOptions {
    // A bare name (the system's library search) or an absolute path; empty:
    // the first of searchNames that loads and is a platform library.
    std::string library;
    std::vector<std::string> searchNames = platformLibraryNames();
    // The platform board: its index ("0") or the name its own configuration
    // gives it ("gpib0", "violet").
    std::string board;
    // The board's own primary address, put on the platform board when it is
    // opened, as every kind of board starts at its map's address.
    int controllerAddress = 0;
};

// What is wrong with these options ("" when nothing), for the board map.
std::string checkLibraryOptions(const LibraryOptions& options);

// The board; it loads the library when it is opened (ibfind), not before.
std::unique_ptr<gpibdrv::Board> makeLibraryBoard(const LibraryOptions& options);

}  // namespace platform
