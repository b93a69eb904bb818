#include "sim/yaml_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "sim/value.h"

namespace sim {

namespace {
constexpr long kNodeBudget = 500000;
}

std::string keyText(const YAML::Node& key) {
    return key.IsScalar() ? key.Scalar() : std::string();
}

int YamlReader::lineOf(const YAML::Node& node) {
    int line = node.Mark().line;
    return line < 0 ? 0 : line + 1;
}

void YamlReader::fail(const YAML::Node& node, const std::string& reason) const {
    throw BenchError(lineOf(node), reason);
}

void YamlReader::note(const YAML::Node& node, const std::string& text) {
    int line = lineOf(node);
    m_notes.push_back(line > 0 ? "line " + std::to_string(line) + ": " + text : text);
}

void YamlReader::visit(const YAML::Node& node) {
    if (++m_visited > kNodeBudget)
        fail(node, "the file expands to more than " + std::to_string(kNodeBudget) + " entries");
}

void YamlReader::requireMap(const YAML::Node& node, const std::string& what) {
    visit(node);
    if (!node.IsMap())
        fail(node, what + " must be a mapping of keys to values");
}

void YamlReader::requireSequence(const YAML::Node& node, const std::string& what) {
    visit(node);
    if (!node.IsSequence())
        fail(node, what + " must be a list");
}

std::string YamlReader::text(const YAML::Node& node, const std::string& what) {
    visit(node);
    if (!node.IsScalar())
        fail(node, what + " must be a single value, not a list or mapping");
    return node.Scalar();
}

long long YamlReader::integer(const YAML::Node& node, const std::string& what, long long min,
                              long long max) {
    std::string t = text(node, what);
    std::optional<long long> v;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        char* end = nullptr;
        long long h = std::strtoll(t.c_str() + 2, &end, 16);
        if (end && *end == 0)
            v = h;
    } else {
        v = readInteger(t);
    }
    if (!v)
        fail(node, what + " must be a whole number, not \"" + t + "\"");
    if (*v < min || *v > max)
        fail(node, what + " must be from " + std::to_string(min) + " to " + std::to_string(max) +
                       ", not " + std::to_string(*v));
    return *v;
}

double YamlReader::number(const YAML::Node& node, const std::string& what, double min, double max) {
    std::string t = text(node, what);
    auto v = readFloat(t);
    if (!v || !std::isfinite(*v))
        fail(node, what + " must be a number, not \"" + t + "\"");
    if (*v < min || *v > max)
        fail(node, what + " is out of range: " + t);
    return *v;
}

bool YamlReader::boolean(const YAML::Node& node, const std::string& what) {
    std::string t = text(node, what);
    for (const char* yes : {"true", "True", "TRUE", "yes", "Yes", "on", "On", "1"})
        if (t == yes)
            return true;
    for (const char* no : {"false", "False", "FALSE", "no", "No", "off", "Off", "0"})
        if (t == no)
            return false;
    fail(node, what + " must be true or false, not \"" + t + "\"");
}

void YamlReader::noteUnknownKeys(const YAML::Node& map, std::initializer_list<const char*> known,
                                 const std::string& where) {
    for (const auto& kv : map) {
        visit(kv.first);
        std::string key = keyText(kv.first);
        bool found = false;
        for (const char* k : known) found = found || key == k;
        if (!found)
            note(kv.first, "skipped the key \"" + key + "\" of " + where + " (not simulated)");
    }
}

namespace {

// What a path that is not a regular file names, for the operator.
std::string kindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "not a regular file";
}

}  // namespace

bool readTextFile(const std::string& path, size_t maxBytes, std::string& text,
                  std::string& problem) {
    // Opened without waiting: opening a FIFO for reading would otherwise wait
    // for a writer for ever. Only a regular file is read.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        problem = std::string("cannot be opened (") + std::strerror(errno) + ")";
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = "is not a regular file (" + kindOf(st.st_mode) + "), so it is not read";
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    text.clear();
    char buf[65536];
    for (;;) {
        long n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            problem = std::string("cannot be read (") + std::strerror(errno) + ")";
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buf, size_t(n));
        if (text.size() > maxBytes) {
            problem = "the file is larger than " + std::to_string(maxBytes / 1024 / 1024) + " MiB";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

}  // namespace sim
