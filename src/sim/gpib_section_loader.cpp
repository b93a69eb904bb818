#include "sim/gpib_section_loader.h"

#include <algorithm>

#include "abi/gpib_abi.h"
#include "driver/call_id.h"

namespace sim {

namespace {

bool iequalsPrefix(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

std::vector<std::string_view> splitColons(std::string_view s) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t p; (p = s.find("::", start)) != std::string_view::npos; start = p + 2)
        parts.push_back(s.substr(start, p - start));
    parts.push_back(s.substr(start));
    return parts;
}

std::optional<long long> digits(std::string_view s) {
    if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    return std::stoll(std::string(s));
}

uint8_t byteValue(YamlReader& r, const YAML::Node& n, const std::string& what) {
    return static_cast<uint8_t>(r.integer(n, what, 0, 255));
}

int statusBits(YamlReader& r, const YAML::Node& n) {
    r.visit(n);
    std::vector<YAML::Node> items;
    if (n.IsSequence())
        for (const auto& i : n) items.push_back(i);
    else
        items.push_back(n);
    int bits = 0;
    for (const auto& item : items) {
        std::string t = r.text(item, "fault ibsta");
        if (auto b = gpibdrv::statusBitByName(t))
            bits |= *b;
        else
            bits |= int(
                r.integer(item, "fault ibsta (a bit name such as TIMO, or a number)", 0, 0xFFFF));
    }
    return bits;
}

void loadBoards(YamlReader& r, const YAML::Node& node, BenchDefinition& bench) {
    r.requireSequence(node, "gpib boards");
    for (const auto& b : node) {
        r.requireMap(b, "a board entry");
        r.noteUnknownKeys(
            b, {"index", "name", "pad", "sad", "system_controller", "present", "cic", "timeout"},
            "a board");
        BoardDef def;
        def.line = YamlReader::lineOf(b);
        if (!b["index"])
            r.fail(b, "a board entry needs an \"index\" (0-15)");
        def.index = int(r.integer(b["index"], "board index", 0, 15));
        def.name = b["name"] ? r.text(b["name"], "board name") : "GPIB" + std::to_string(def.index);
        if (b["pad"])
            def.pad = int(r.integer(b["pad"], "board pad", 0, 30));
        if (b["sad"])
            def.sad = int(r.integer(b["sad"], "board sad", 0, 0x7E));
        if (b["system_controller"])
            def.systemController = r.boolean(b["system_controller"], "system_controller");
        if (b["present"])
            def.present = r.boolean(b["present"], "board present");
        if (b["cic"])
            def.cicAtStart = r.boolean(b["cic"], "board cic");
        if (b["timeout"])
            def.timeoutCode = int(r.integer(b["timeout"], "board timeout code", 0, 17));
        for (const auto& other : bench.boards) {
            if (other.index == def.index)
                r.fail(b, "two boards with index " + std::to_string(def.index));
            std::string a = other.name, c = def.name;
            std::transform(a.begin(), a.end(), a.begin(), ::toupper);
            std::transform(c.begin(), c.end(), c.begin(), ::toupper);
            if (a == c)
                r.fail(b, "two boards named " + def.name);
        }
        bench.boards.push_back(def);
    }
}

void loadInstrument(YamlReader& r, const YAML::Node& node, InstrumentDef& inst) {
    std::string w = "the settings of " + inst.resource;
    r.requireMap(node, w);
    r.noteUnknownKeys(node,
                      {"ieee488_2", "match_case", "sre", "ese", "esr", "trigger", "device_clear",
                       "response_delay_ms", "present", "answers", "serial_poll", "accepts_data",
                       "eoi", "rqs_in_poll", "ist"},
                      w);
    if (node["ieee488_2"])
        inst.ieee4882 = r.boolean(node["ieee488_2"], "ieee488_2");
    if (node["match_case"])
        inst.matchCase = r.boolean(node["match_case"], "match_case");
    if (node["sre"])
        inst.sre = byteValue(r, node["sre"], "sre");
    if (node["ese"])
        inst.ese = byteValue(r, node["ese"], "ese");
    if (node["esr"])
        inst.esr = byteValue(r, node["esr"], "esr");
    if (YAML::Node t = node["trigger"]) {
        r.requireMap(t, "trigger");
        r.noteUnknownKeys(t, {"response", "request_service", "status_bits", "esr_bits"}, "trigger");
        if (t["response"])
            inst.trigger.response = r.text(t["response"], "trigger response");
        if (t["request_service"])
            inst.trigger.requestService = r.boolean(t["request_service"], "request_service");
        if (t["status_bits"])
            inst.trigger.statusBits = byteValue(r, t["status_bits"], "status_bits");
        if (t["esr_bits"])
            inst.trigger.esrBits = byteValue(r, t["esr_bits"], "esr_bits");
    }
    if (YAML::Node c = node["device_clear"]) {
        r.requireMap(c, "device_clear");
        r.noteUnknownKeys(c, {"clear_input", "clear_output", "reset"}, "device_clear");
        if (c["clear_input"])
            inst.clear.clearInput = r.boolean(c["clear_input"], "clear_input");
        if (c["clear_output"])
            inst.clear.clearOutput = r.boolean(c["clear_output"], "clear_output");
        if (c["reset"])
            inst.clear.reset = r.boolean(c["reset"], "reset");
    }
    if (node["response_delay_ms"])
        inst.responseDelayUs =
            long(r.number(node["response_delay_ms"], "response_delay_ms", 0, 3.6e6) * 1000);
    if (node["present"])
        inst.present = r.boolean(node["present"], "present");
    if (node["answers"])
        inst.answersLimit = long(r.integer(node["answers"], "answers", 0, 1LL << 40));
    if (node["serial_poll"])
        inst.answersSerialPoll = r.boolean(node["serial_poll"], "serial_poll");
    if (node["accepts_data"])
        inst.acceptsData = r.boolean(node["accepts_data"], "accepts_data");
    if (node["eoi"])
        inst.sendsEoi = r.boolean(node["eoi"], "eoi");
    if (node["rqs_in_poll"])
        inst.rqsInPoll = r.boolean(node["rqs_in_poll"], "rqs_in_poll");
    if (node["ist"])
        inst.ist = r.boolean(node["ist"], "ist");
}

void loadAddressFilter(YamlReader& r, const YAML::Node& n, FaultDef& f) {
    std::string t = r.text(n, "fault address");
    auto parts = splitColons(t);
    auto pad = digits(parts[0]);
    auto sad = parts.size() == 2 ? digits(parts[1]) : std::optional<long long>(-1);
    if (parts.size() > 2 || !pad || !sad || *pad > 30 || *sad > 30)
        r.fail(n, "fault address must be a primary address 0-30 or \"primary::secondary\", not \"" +
                      t + "\"");
    f.pad = int(*pad);
    f.sad = int(*sad);
}

void loadFault(YamlReader& r, const YAML::Node& node, FaultDef& f) {
    r.requireMap(node, "a fault");
    r.noteUnknownKeys(node,
                      {"call", "board", "address", "resource", "after", "times", "iberr", "ibsta",
                       "count", "perform"},
                      "a fault");
    f.line = YamlReader::lineOf(node);
    YAML::Node call = node["call"];
    if (!call)
        r.fail(node, "a fault needs a \"call\" (the entry point that fails)");
    r.visit(call);
    std::vector<YAML::Node> calls;
    if (call.IsSequence())
        for (const auto& c : call) calls.push_back(c);
    else
        calls.push_back(call);
    for (const auto& c : calls) {
        std::string name = r.text(c, "fault call");
        if (!gpibdrv::callByName(name))
            r.fail(c, "a fault names the unknown entry point \"" + name + "\"");
        f.calls.push_back(name);
    }
    if (node["board"])
        f.board = int(r.integer(node["board"], "fault board", 0, 15));
    if (node["address"])
        loadAddressFilter(r, node["address"], f);
    if (YAML::Node res = node["resource"]) {
        auto parsed = parseResource(r.text(res, "fault resource"));
        if (!parsed.instrument)
            r.fail(res, "fault resource must be a GPIB INSTR resource");
        f.board = parsed.address.board;
        f.pad = parsed.address.pad;
        f.sad = parsed.address.sad;
    }
    if (node["after"])
        f.after = long(r.integer(node["after"], "fault after", 0, 1LL << 40));
    if (YAML::Node t = node["times"]) {
        std::string s = r.text(t, "fault times");
        f.times = s == "forever"
                      ? -1
                      : long(r.integer(t, "fault times (a count or forever)", 1, 1LL << 40));
    }
    if (YAML::Node e = node["iberr"]) {
        std::string s = r.text(e, "fault iberr");
        auto code = gpibdrv::errorCodeByName(s);
        f.iberr = code ? *code
                       : int(r.integer(e, "fault iberr (a name such as EABO, or a number)", 0, 31));
    }
    if (node["ibsta"])
        f.ibstaBits = statusBits(r, node["ibsta"]);
    if (node["count"])
        f.count = long(r.integer(node["count"], "fault count", -2147483648LL, 2147483647LL));
    f.perform = !f.iberr;
    if (node["perform"])
        f.perform = r.boolean(node["perform"], "fault perform");
    if (!f.iberr && !f.count && f.ibstaBits == 0)
        r.fail(node, "a fault needs at least one of iberr, ibsta or count");
}

void loadTiming(YamlReader& r, const YAML::Node& t, TimingDef& timing) {
    r.requireMap(t, "gpib timing");
    r.noteUnknownKeys(t, {"instant", "byte_us", "command_us", "probe_us", "no_timeout_limit_ms"},
                      "timing");
    if (t["instant"])
        timing.instant = r.boolean(t["instant"], "timing instant");
    if (t["byte_us"])
        timing.byteUs = r.number(t["byte_us"], "byte_us", 0, 1e6);
    if (t["command_us"])
        timing.commandUs = r.number(t["command_us"], "command_us", 0, 1e6);
    if (t["probe_us"])
        timing.probeUs = r.number(t["probe_us"], "probe_us", 0, 1e6);
    if (t["no_timeout_limit_ms"])
        timing.noTimeoutLimitMs =
            long(r.integer(t["no_timeout_limit_ms"], "no_timeout_limit_ms", 0, 86400000));
}

}  // namespace

ParsedResource parseResource(std::string_view name) {
    ParsedResource res;
    if (!iequalsPrefix(name, "GPIB"))
        return res;
    res.gpib = true;
    auto parts = splitColons(name.substr(4));
    std::string upperLast(parts.back());
    std::transform(upperLast.begin(), upperLast.end(), upperLast.begin(), ::toupper);
    if (upperLast != "INSTR")
        return res;  // INTFC, SERVANT, ...: not an instrument
    auto board = parts[0].empty() ? std::optional<long long>(0) : digits(parts[0]);
    if (parts.size() < 3 || parts.size() > 4 || !board) {
        res.error =
            "\"" + std::string(name) + "\" is not a GPIB resource name such as GPIB0::9::INSTR";
        return res;
    }
    auto pad = digits(parts[1]);
    auto sad = parts.size() == 4 ? digits(parts[2]) : std::optional<long long>(-1);
    if (!pad || !sad) {
        res.error = "\"" + std::string(name) + "\" has an address that is not a number";
    } else if (*board > 15) {
        res.error =
            "\"" + std::string(name) + "\" names board " + std::to_string(*board) + ", beyond 15";
    } else if (*pad > 30) {
        res.error = "\"" + std::string(name) + "\" has the primary address " +
                    std::to_string(*pad) + ", beyond 30";
    } else if (*sad > 30 && *sad != 65535) {
        res.error = "\"" + std::string(name) + "\" has the secondary address " +
                    std::to_string(*sad) + ", beyond 30";
    } else {
        res.instrument = true;
        res.address = {int(*board), int(*pad), *sad == 65535 ? -1 : int(*sad)};
    }
    return res;
}

std::string addressText(const GpibAddress& a) {
    std::string s = "GPIB" + std::to_string(a.board) + "::" + std::to_string(a.pad);
    if (a.sad >= 0)
        s += "::" + std::to_string(a.sad);
    return s;
}

void loadGpibSection(YamlReader& r, const YAML::Node& node, BenchDefinition& bench) {
    r.requireMap(node, "the gpib section");
    r.noteUnknownKeys(node, {"boards", "instruments", "faults", "timing"}, "the gpib section");
    if (YAML::Node t = node["timing"])
        loadTiming(r, t, bench.timing);
    if (YAML::Node b = node["boards"])
        loadBoards(r, b, bench);
    if (YAML::Node insts = node["instruments"]) {
        r.requireMap(insts, "gpib instruments");
        for (const auto& kv : insts) {
            std::string resource = r.text(kv.first, "an instrument key");
            auto parsed = parseResource(resource);
            if (!parsed.instrument)
                r.fail(kv.first, parsed.error.empty()
                                     ? "\"" + resource + "\" is not a GPIB INSTR resource"
                                     : parsed.error);
            auto it =
                std::find_if(bench.instruments.begin(), bench.instruments.end(),
                             [&](const InstrumentDef& i) { return i.address == parsed.address; });
            if (it == bench.instruments.end())
                r.fail(kv.first,
                       "gpib instruments names " + resource + ", which is not in resources");
            loadInstrument(r, kv.second, *it);
        }
    }
    if (YAML::Node faults = node["faults"]) {
        r.requireSequence(faults, "gpib faults");
        for (const auto& f : faults) {
            FaultDef def;
            loadFault(r, f, def);
            bench.faults.push_back(std::move(def));
        }
    }
}

}  // namespace sim
