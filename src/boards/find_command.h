#pragma once
// tm-boards find: what could be a board, each with the tm-boards add line
// that would make it one.

#include <string>
#include <vector>

namespace boards {

struct FindOptions {
    bool serial = true, gateways = true, libraries = true;
    bool probe = false;              // ask each serial candidate ++ver
    std::vector<std::string> hosts;  // gateways: ask these alone
    bool broadcast = true, dnsSd = true;
    int portmapperPort = 111;
    int timeoutMs = 1000;                   // the wait for answers
    std::vector<std::string> libraryNames;  // empty: the usual platform libraries
    bool tab = false;                       // one finding a line, fields between tabs
    std::string boardsFile;                 // the map whose free numbers the add lines use
    bool system = false;
};

// Prints what it found; 0 when it found anything, 1 when nothing.
int runFind(const FindOptions& options);

// A value as the shell takes it back unchanged: as it is when it holds only
// characters the shell leaves alone, else in single quotes.
std::string shellWord(const std::string& s);

}  // namespace boards
