#include "bundled/board_map_devices.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "driver/driver.h"

namespace bundled {

namespace {

constexpr std::array<std::string_view, 18> kTimeouts = {
    "TNONE",  "T10us",  "T30us", "T100us", "T300us", "T1ms", "T3ms",  "T10ms", "T30ms",
    "T100ms", "T300ms", "T1s",   "T3s",    "T10s",   "T30s", "T100s", "T300s", "T1000s"};

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

int timeoutCode(sim::YamlReader& r, const YAML::Node& node) {
    std::string t = r.text(node, "timeout");
    for (size_t i = 0; i < kTimeouts.size(); ++i)
        if (sameText(t, kTimeouts[i]))
            return int(i);
    if (!t.empty() && std::isdigit(static_cast<unsigned char>(t[0])))
        return int(r.integer(node, "timeout", 0, 17));
    r.fail(node, "timeout must be a timeout code (TNONE, T10us ... T1000s) or 0 to 17, not \"" + t +
                     "\"");
}

MapDevice loadDevice(sim::YamlReader& r, const YAML::Node& key, const YAML::Node& node,
                     const BoardMap& map) {
    MapDevice d;
    d.name = r.text(key, "a device name");
    d.line = sim::YamlReader::lineOf(key);
    r.requireMap(node, "the device " + d.name);
    bool pad = false, eosBits = false;
    int flags = 0;
    for (const auto& kv : node) {
        const std::string k = sim::keyText(kv.first);
        const YAML::Node& v = kv.second;
        if (k == "board") {
            std::string board = r.text(v, "board");
            auto it = std::find_if(map.boards.begin(), map.boards.end(),
                                   [&](const MapBoard& b) { return sameText(b.name, board); });
            if (it == map.boards.end())
                r.fail(v, "the device " + d.name + " is on \"" + board +
                              "\", which is no board of this map");
            d.board = it->index;
            d.boardName = it->name;
        } else if (k == "pad") {
            d.pad = int(r.integer(v, "pad", 0, 30));
            pad = true;
        } else if (k == "sad") {
            d.sad = 0x60 + int(r.integer(v, "sad", 0, 30));
        } else if (k == "timeout") {
            d.timeoutCode = timeoutCode(r, v);
        } else if (k == "eot") {
            d.eot = r.boolean(v, "eot");
        } else if (k == "eos") {
            d.eos = int(r.integer(v, "eos", 0, 0x1CFF));
            eosBits = (d.eos & ~(0xFF | gpibdrv::kREOS | gpibdrv::kXEOS | gpibdrv::kBIN)) != 0;
            if (eosBits)
                r.fail(v,
                       "eos must be a byte, or a byte with REOS 0x400, XEOS 0x800 and BIN "
                       "0x1000");
        } else if (k == "reos" || k == "xeos" || k == "bin") {
            const int bit = k == "reos"   ? gpibdrv::kREOS
                            : k == "xeos" ? gpibdrv::kXEOS
                                          : gpibdrv::kBIN;
            if (r.boolean(v, k))
                flags |= bit;
        } else {
            r.fail(kv.first, "a device has no setting \"" + k +
                                 "\" (board, pad, sad, timeout, eos, reos, xeos, bin, eot)");
        }
    }
    if (d.boardName.empty())
        r.fail(key, "the device " + d.name + " names no board:");
    if (!pad)
        r.fail(key, "the device " + d.name + " has no pad: (its primary address, 0 to 30)");
    d.eos |= flags;
    return d;
}

}  // namespace

void loadDevices(sim::YamlReader& r, const YAML::Node& node, BoardMap& map) {
    r.requireMap(node, "devices");
    for (const auto& kv : node) {
        MapDevice d = loadDevice(r, kv.first, kv.second, map);
        for (const MapBoard& b : map.boards)
            if (sameText(b.name, d.name))
                r.fail(kv.first, "the device " + d.name + " has the name of a board");
        for (const MapDevice& other : map.devices)
            if (sameText(other.name, d.name))
                r.fail(kv.first, "the device " + d.name + " is listed twice (line " +
                                     std::to_string(other.line) + ")");
        if (d.name.empty() || d.name.size() > 64)
            r.fail(kv.first, "a device name has 1 to 64 characters");
        map.devices.push_back(std::move(d));
    }
}

}  // namespace bundled
