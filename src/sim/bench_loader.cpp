#include "sim/bench_loader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/builtin_bench.h"
#include "sim/device_loader.h"
#include "sim/gpib_section_loader.h"
#include "sim/yaml_reader.h"

namespace sim {

namespace {

std::string refusal(const std::string& source, int line, const std::string& reason) {
    std::string s = "simulated bench: " + source;
    if (line > 0)
        s += ", line " + std::to_string(line);
    return s + ": " + reason;
}

void loadResources(YamlReader& r, const YAML::Node& node, BenchDefinition& bench) {
    r.requireMap(node, "resources");
    for (const auto& kv : node) {
        std::string name = r.text(kv.first, "a resource name");
        ParsedResource parsed = parseResource(name);
        if (!parsed.error.empty())
            r.fail(kv.first, parsed.error);
        if (!parsed.instrument) {
            r.note(kv.first,
                   "skipped the resource " + name + " (only GPIB instruments are simulated)");
            continue;
        }
        r.requireMap(kv.second, "the resource " + name);
        YAML::Node dev = kv.second["device"];
        if (!dev) {
            r.note(kv.first, "skipped the resource " + name + " (it names no device of this file)");
            continue;
        }
        std::string devName = r.text(dev, "the device of " + name);
        auto it = std::find_if(bench.devices.begin(), bench.devices.end(),
                               [&](const DeviceDef& d) { return d.name == devName; });
        if (it == bench.devices.end())
            r.fail(dev, "the resource " + name + " names the unknown device \"" + devName + "\"");
        for (const auto& other : bench.instruments)
            if (other.address == parsed.address)
                r.fail(kv.first, "two instruments at " + addressText(parsed.address) + " (" +
                                     other.resource + " and " + name + ")");
        InstrumentDef inst;
        inst.resource = name;
        inst.line = YamlReader::lineOf(kv.first);
        inst.address = parsed.address;
        inst.device = size_t(it - bench.devices.begin());
        bench.instruments.push_back(std::move(inst));
    }
}

void settleBoards(BenchDefinition& bench) {
    if (bench.boards.empty()) {
        std::vector<int> used{0};
        for (const auto& i : bench.instruments) used.push_back(i.address.board);
        std::sort(used.begin(), used.end());
        used.erase(std::unique(used.begin(), used.end()), used.end());
        for (int index : used) {
            BoardDef b;
            b.index = index;
            b.name = "GPIB" + std::to_string(index);
            bench.boards.push_back(b);
        }
    }
    for (const auto& inst : bench.instruments) {
        auto board = std::find_if(bench.boards.begin(), bench.boards.end(),
                                  [&](const BoardDef& b) { return b.index == inst.address.board; });
        if (board == bench.boards.end())
            throw BenchError(inst.line, inst.resource + " is on board " +
                                            std::to_string(inst.address.board) +
                                            ", which the gpib boards do not list");
        if (board->pad == inst.address.pad && inst.address.sad < 0)
            throw BenchError(inst.line, inst.resource + " sits at the controller's own address " +
                                            addressText({board->index, board->pad, -1}));
    }
}

BenchDefinition loadRoot(const YAML::Node& root, const std::string& source) {
    BenchDefinition bench;
    bench.source = source;
    YamlReader r(bench.notes);
    if (!root || root.IsNull())
        throw BenchError(0, "the file is empty");
    r.requireMap(root, "the top level of a bench file");
    r.noteUnknownKeys(root, {"spec", "devices", "resources", "gpib"}, "the file");
    if (YAML::Node spec = root["spec"]) {
        std::string version = r.text(spec, "spec");
        if (version != "1.0" && version != "1.1")
            r.fail(spec, "spec \"" + version + "\" is not a version this bench reads (1.0 or 1.1)");
    } else {
        r.note(root, "the file names no spec version; read as 1.1");
    }
    if (YAML::Node devices = root["devices"]) {
        r.requireMap(devices, "devices");
        for (const auto& kv : devices) {
            std::string name = r.text(kv.first, "a device name");
            bench.devices.push_back(loadDevice(r, name, kv.second));
        }
    }
    if (YAML::Node resources = root["resources"])
        loadResources(r, resources, bench);
    if (YAML::Node gpib = root["gpib"])
        loadGpibSection(r, gpib, bench);
    settleBoards(bench);
    return bench;
}

}  // namespace

LoadResult loadBenchText(std::string_view text, const std::string& source) {
    LoadResult result;
    size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        result.problem =
            refusal(source, 0,
                    "this is not a text file (a NUL byte at offset " + std::to_string(nul) + ")");
        return result;
    }
    try {
        YAML::Node root = YAML::Load(std::string(text));
        result.bench = loadRoot(root, source);
    } catch (const BenchError& e) {
        result.problem = refusal(source, e.line, e.what());
    } catch (const YAML::Exception& e) {
        int line = e.mark.line < 0 ? 0 : e.mark.line + 1;
        result.problem = refusal(source, line, "the YAML does not parse (" + e.msg + ")");
    } catch (const std::exception& e) {
        result.problem =
            refusal(source, 0, std::string("the file could not be read (") + e.what() + ")");
    }
    return result;
}

LoadResult loadBenchFile(const std::string& path) {
    std::string source = "bench file " + path;
    std::string text, problem;
    if (!readTextFile(path, kMaxBenchFileBytes, text, problem))
        return {std::nullopt, refusal(source, 0, problem)};
    return loadBenchText(text, source);
}

LoadResult loadBench(const std::string& path) {
    return path.empty() ? loadBenchText(builtinBenchText(), "built-in bench") : loadBenchFile(path);
}

}  // namespace sim
