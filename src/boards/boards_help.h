#pragma once
// The text of tm-boards --help: its ways of being called, the commands, the
// options of each (as the command line defines them), and what the options
// do not say. Laid out as help2man reads it, since the manual page is made
// from it.

#include <string>

namespace CLI {
class App;
}

namespace boards {

std::string boardsHelp(const CLI::App& app);

}  // namespace boards
