/* Where the bundled driver looks for its configuration. The program's loader
 * reads the same places to decide whether to prefer the bundled driver over
 * an installed platform driver, so both sides share this one header. */
#ifndef BUNDLED_DRIVER_H
#define BUNDLED_DRIVER_H

#ifdef __cplusplus

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace bundled_driver {

// The board map: the file GPIB_BOARDS names (even when it is missing: the
// operator asked for it, and hears why it cannot be read), else
// $XDG_CONFIG_HOME/tarvel-morrow/boards.yaml (~/.config when unset), else
// /etc/tarvel-morrow/boards.yaml. "" when there is none.
inline std::string boardMapPath() {
    if (const char* named = std::getenv("GPIB_BOARDS"); named && *named)
        return named;
    std::vector<std::filesystem::path> places;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        places.push_back(std::filesystem::path(xdg) / "tarvel-morrow/boards.yaml");
    else if (const char* home = std::getenv("HOME"); home && *home)
        places.push_back(std::filesystem::path(home) / ".config/tarvel-morrow/boards.yaml");
    places.push_back("/etc/tarvel-morrow/boards.yaml");
    for (const auto& p : places) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(p, ec))
            return p.string();
    }
    return "";
}

// Serial devices whose stable name says they are a Prologix adapter, in the
// folder GPIB_SERIAL_BY_ID names (tests), else /dev/serial/by-id. Sorted, so
// the same adapter becomes GPIB0 every time. Only names are read here.
inline std::vector<std::string> prologixCandidates() {
    const char* named = std::getenv("GPIB_SERIAL_BY_ID");
    std::filesystem::path dir = named && *named ? named : "/dev/serial/by-id";
    std::vector<std::string> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (lower.find("prologix") != std::string::npos)
            found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace bundled_driver

#endif /* __cplusplus */

#endif /* BUNDLED_DRIVER_H */
