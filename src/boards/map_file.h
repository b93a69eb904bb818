#pragma once
// The board map file tm-boards add and remove edit: which file that is, read
// as the driver reads it, and written back whole or not at all (a new file
// beside it, then renamed over it), so that a full disk or a crash leaves
// the old map, never half of a new one.

#include <sys/types.h>

#include <string>

namespace boards {

// The file an edit goes to: --boards FILE, else $GPIB_BOARDS, else the
// person's own map ($XDG_CONFIG_HOME or ~/.config); with system, the system's
// map in /etc. A person without a map of their own but with the system's
// gets a copy of the system's to edit (seedFrom), since a map of their own
// replaces the system's for them rather than adding to it.
struct MapPlace {
    std::string path;
    std::string seedFrom;  // "" unless the new file starts as a copy of this one
    std::string problem;   // when there is no place (no HOME, say)
};
MapPlace editPlace(const std::string& named, bool system);

// The system's board map.
inline constexpr const char* kSystemMap = "/etc/tarvel-morrow/boards.yaml";

struct MapFile {
    std::string path;     // as named
    std::string target;   // the file itself: the link's target when path is a link
    bool exists = false;  // false: a new map is made at target
    std::string text;
    mode_t mode = 0644;
    uid_t uid = 0;
    gid_t gid = 0;
};

// Reads the map at path, following a link to its file; a missing file is a
// new, empty map. False with the reason for what cannot be read (not a
// regular file, no permission, a link to nothing, too large).
bool readMapFile(const std::string& path, MapFile& file, std::string& problem);

// Puts text in the file's place: a new file in the same folder (the folder
// made when missing), with the old file's permissions and owner, renamed
// over it. Refused when the file changed since it was read.
bool writeMapFile(const MapFile& file, const std::string& text, std::string& problem);

}  // namespace boards
