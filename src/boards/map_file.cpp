#include "boards/map_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "abi/bundled_driver.h"
#include "bundled/board_map.h"
#include "sim/yaml_reader.h"

namespace boards {

namespace fs = std::filesystem;

namespace {

std::string errnoText() {
    return std::strerror(errno);
}

// The user's own map, whether or not it exists yet.
std::string personalMap(std::string& problem) {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return (fs::path(xdg) / "tarvel-morrow/boards.yaml").string();
    if (const char* home = std::getenv("HOME"); home && *home)
        return (fs::path(home) / ".config/tarvel-morrow/boards.yaml").string();
    problem =
        "neither XDG_CONFIG_HOME nor HOME names a folder for your board map: name the "
        "file with --boards FILE";
    return "";
}

bool sameText(const std::string& path, bool existed, const std::string& text) {
    std::string now, problem;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return !existed && errno == ENOENT;
    return existed && sim::readTextFile(path, bundled::kMaxBoardMapBytes, now, problem) &&
           now == text;
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace

MapPlace editPlace(const std::string& named, bool system) {
    MapPlace place;
    if (!named.empty()) {
        place.path = named;
    } else if (system) {
        place.path = kSystemMap;
    } else if (const char* env = std::getenv("GPIB_BOARDS"); env && *env) {
        place.path = env;
    } else {
        place.path = personalMap(place.problem);
        std::error_code ec;
        if (!place.path.empty() && !fs::exists(fs::symlink_status(place.path, ec)) &&
            bundled_driver::boardMapPath() == kSystemMap)
            place.seedFrom = kSystemMap;
    }
    return place;
}

bool readMapFile(const std::string& path, MapFile& file, std::string& problem) {
    file = MapFile{};
    file.path = file.target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            problem = "cannot be looked at (" + errnoText() + ")";
            return false;
        }
        const mode_t mask = ::umask(0);
        ::umask(mask);
        file.mode = 0666 & ~mask;
        file.uid = ::geteuid();
        file.gid = ::getegid();
        return true;
    }
    if (S_ISLNK(st.st_mode)) {
        // The link stays a link: the file it leads to is the one rewritten.
        char resolved[PATH_MAX];
        if (!::realpath(path.c_str(), resolved)) {
            std::error_code ec;
            problem = "is a link to " + fs::read_symlink(path, ec).string() +
                      ", which cannot be reached (" + errnoText() + ")";
            return false;
        }
        file.target = resolved;
    }
    if (!sim::readTextFile(file.target, bundled::kMaxBoardMapBytes, file.text, problem))
        return false;
    if (::stat(file.target.c_str(), &st) != 0) {
        problem = "cannot be looked at (" + errnoText() + ")";
        return false;
    }
    file.exists = true;
    file.mode = st.st_mode & 07777;
    file.uid = st.st_uid;
    file.gid = st.st_gid;
    return true;
}

bool writeMapFile(const MapFile& file, const std::string& text, std::string& problem) {
    const fs::path target(file.target);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        problem = "its folder " + folder.string() + " cannot be made (" + ec.message() + ")";
        return false;
    }
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        problem = "no file can be made in " + folder.string() + " (" + errnoText() + ")";
        return false;
    }
    bool written = writeAll(fd, text) && ::fchmod(fd, file.mode) == 0;
    // Root editing someone else's map leaves it theirs.
    if (written && ::geteuid() == 0 && file.exists)
        written = ::fchown(fd, file.uid, file.gid) == 0;
    written = written && ::fsync(fd) == 0;
    const std::string why = written ? "" : errnoText();
    ::close(fd);
    if (!written) {
        ::unlink(temp.c_str());
        problem = "the new map could not be written in " + folder.string() + " (" + why + ")";
        return false;
    }
    // Another editor may have saved the file meanwhile: theirs is kept.
    if (!sameText(file.target, file.exists, file.text)) {
        ::unlink(temp.c_str());
        problem = "it changed while tm-boards was editing it; run tm-boards again";
        return false;
    }
    if (::rename(temp.c_str(), file.target.c_str()) != 0) {
        const std::string reason = errnoText();
        ::unlink(temp.c_str());
        problem = "the new map could not take its place (" + reason + ")";
        return false;
    }
    if (int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace boards
