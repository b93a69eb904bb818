#pragma once
// tm-boards add and remove: one board written into, or taken out of, the
// person's board map (boards/board_map_edit.h), the file written whole or
// not at all (boards/map_file.h).

#include <string>
#include <vector>

namespace boards {

struct EditOptions {
    std::string boardsFile;  // --boards FILE
    bool system = false;     // --system: /etc/tarvel-morrow/boards.yaml
    bool replace = false;    // add --replace
};

// add GPIBn KIND KEY=VALUE...: 0 when written, 1 when refused (the reason
// printed on standard error; nothing written).
int runAdd(const EditOptions& o, const std::string& name, const std::string& kind,
           const std::vector<std::string>& settings);

// remove GPIBn: 0 when written, 1 when refused.
int runRemove(const EditOptions& o, const std::string& name);

}  // namespace boards
