#include "bundled/board_map.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "bundled/board_kinds.h"
#include "bundled/board_map_devices.h"
#include "sim/yaml_reader.h"

namespace bundled {

namespace {

using sim::BenchError;
using sim::YamlReader;

std::string refusal(const std::string& path, int line, const std::string& reason) {
    std::string s = "board map " + path;
    if (line > 0)
        s += ", line " + std::to_string(line);
    return s + ": " + reason;
}

void loadSecondaries(YamlReader& r, const YAML::Node& node, MapBoard& b) {
    r.requireMap(node, "secondaries");
    for (const auto& kv : node) {
        int pad = int(r.integer(kv.first, "a primary address of secondaries", 0, 30));
        YAML::Node list = kv.second;
        r.requireSequence(list, "the secondaries of " + std::to_string(pad));
        for (const auto& s : list) {
            int sad = int(r.integer(s, "a secondary address", 0, 30));
            gpibdrv::BusAddress a{pad, sad};
            if (std::find(b.secondaries.begin(), b.secondaries.end(), a) == b.secondaries.end())
                b.secondaries.push_back(a);
        }
    }
}

// How an adapter's reads are asked: as the probes at open find, or forced.
std::string readsWay(YamlReader& r, const YAML::Node& value) {
    std::string way = r.text(value, "reads");
    if (way != "probe" && way != "fast" && way != "safe")
        r.fail(value, "reads: is probe, fast or safe, not \"" + way + "\"");
    return way;
}

void loadKey(YamlReader& r, const std::string& key, const YAML::Node& value, MapBoard& b) {
    if (key == "port")
        b.port = r.text(value, "port");
    else if (key == "host")
        b.host = r.text(value, "host");
    else if (key == "baud")
        b.baud = int(r.integer(value, "baud", 50, 4000000));
    else if (key == "tcp_port")
        b.tcpPort = int(r.integer(value, "tcp_port", 1, 65535));
    else if (key == "controller_address")
        b.controllerAddress = int(r.integer(value, "controller_address", 0, 30));
    else if (key == "secondaries")
        loadSecondaries(r, value, b);
    else if (key == "reads")
        b.reads = readsWay(r, value);
    else if (key == "bench")
        b.bench = r.text(value, "bench");
    else if (key == "interface")
        b.interfaceName = r.text(value, "interface");
    else if (key == "core_port")
        b.corePort = int(r.integer(value, "core_port", 1, 65535));
    else if (key == "library")
        b.library = r.text(value, "library");
    else if (key == "board")
        b.platformBoard = r.text(value, "board");
}

MapBoard loadBoard(YamlReader& r, const YAML::Node& key, const YAML::Node& node,
                   const std::string& folder) {
    MapBoard b;
    b.name = r.text(key, "a board name");
    b.line = YamlReader::lineOf(key);
    auto index = boardIndex(b.name);
    if (!index)
        r.fail(key, "\"" + b.name + "\" is not a board name (GPIB0 to GPIB15)");
    b.index = *index;
    r.requireMap(node, "the board " + b.name);
    YAML::Node kind = node["kind"];
    if (!kind)
        r.fail(key, "the board " + b.name + " names no kind (" + kindNames() + ")");
    b.kind = r.text(kind, "kind");
    const BoardKind* k = findKind(b.kind);
    if (!k)
        r.fail(kind, "unknown kind \"" + b.kind + "\" (" + kindNames() + ")");
    for (const auto& kv : node) {
        std::string name = sim::keyText(kv.first);
        if (name == "kind")
            continue;
        if (!k->accepts(name))
            r.fail(kv.first, "a " + b.kind + " board has no setting \"" + name + "\"");
        loadKey(r, name, kv.second, b);
    }
    if (std::string why = k->check(b); !why.empty())
        r.fail(key, "the board " + b.name + " " + why);
    if (!b.bench.empty() && std::filesystem::path(b.bench).is_relative() && !folder.empty())
        b.bench = (std::filesystem::path(folder) / b.bench).string();
    return b;
}

// yaml-cpp keeps both pairs of a key given twice: a lookup finds the first, a
// walk over the pairs sees the last. Refused in every mapping of the file,
// whichever section reads it.
void refuseRepeatedKeys(YamlReader& r, const YAML::Node& node) {
    r.visit(node);
    if (node.IsSequence()) {
        for (const auto& item : node) refuseRepeatedKeys(r, item);
    } else if (node.IsMap()) {
        std::map<std::string, int> seen;
        for (const auto& kv : node) {
            if (kv.first.IsScalar()) {
                const std::string key = kv.first.Scalar();
                auto [first, fresh] = seen.emplace(key, YamlReader::lineOf(kv.first));
                if (!fresh)
                    r.fail(kv.first, "the key \"" + key + "\" is given twice (first on line " +
                                         std::to_string(first->second) + ")");
            }
            refuseRepeatedKeys(r, kv.second);
        }
    }
}

BoardMap loadRoot(const YAML::Node& root, const std::string& path) {
    std::vector<std::string> notes;
    YamlReader r(notes);
    if (!root || root.IsNull())
        throw BenchError(0, "the file is empty");
    refuseRepeatedKeys(r, root);
    r.requireMap(root, "the top level of a board map");
    for (const auto& kv : root)
        if (sim::keyText(kv.first) != "boards" && sim::keyText(kv.first) != "devices")
            r.fail(kv.first,
                   "unknown key \"" + sim::keyText(kv.first) + "\" (only boards: and devices:)");
    YAML::Node boards = root["boards"];
    if (!boards)
        r.fail(root, "the map has no boards:");
    r.requireMap(boards, "boards");
    BoardMap map;
    map.path = path;
    std::string folder = std::filesystem::path(path).parent_path().string();
    for (const auto& kv : boards) {
        MapBoard b = loadBoard(r, kv.first, kv.second, folder);
        for (const MapBoard& other : map.boards)
            if (other.index == b.index)
                r.fail(kv.first, "the board " + b.name + " is listed twice (line " +
                                     std::to_string(other.line) + ")");
        map.boards.push_back(std::move(b));
    }
    if (map.boards.empty())
        r.fail(boards, "the map lists no boards");
    if (YAML::Node devices = root["devices"])
        loadDevices(r, devices, map);
    return map;
}

}  // namespace

std::optional<int> boardIndex(const std::string& name) {
    if (name.size() < 5 || name.size() > 6)
        return std::nullopt;
    for (size_t i = 0; i < 4; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "GPIB"[i])
            return std::nullopt;
    int n = 0;
    for (size_t i = 4; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return std::nullopt;
        n = n * 10 + (name[i] - '0');
    }
    if (name.size() == 6 && name[4] == '0')
        return std::nullopt;  // "GPIB01" is not a board name
    return n <= 15 ? std::optional<int>(n) : std::nullopt;
}

BoardMapResult loadBoardMapText(std::string_view text, const std::string& path) {
    BoardMapResult result;
    auto refuse = [&](int line, const std::string& reason) {
        result.line = line;
        result.reason = reason;
        result.problem = refusal(path, line, reason);
    };
    size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        refuse(0, "this is not a text file (a NUL byte at offset " + std::to_string(nul) + ")");
        return result;
    }
    try {
        result.map = loadRoot(YAML::Load(std::string(text)), path);
    } catch (const BenchError& e) {
        refuse(e.line, e.what());
    } catch (const YAML::Exception& e) {
        refuse(e.mark.line < 0 ? 0 : e.mark.line + 1, "the YAML does not parse (" + e.msg + ")");
    } catch (const std::exception& e) {
        refuse(0, std::string("the file could not be read (") + e.what() + ")");
    }
    return result;
}

BoardMapResult loadBoardMap(const std::string& path) {
    std::string text, problem;
    if (!sim::readTextFile(path, kMaxBoardMapBytes, text, problem))
        return {std::nullopt, refusal(path, 0, problem), 0, problem};
    return loadBoardMapText(text, path);
}

}  // namespace bundled
