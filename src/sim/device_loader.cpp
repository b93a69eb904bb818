#include "sim/device_loader.h"

#include "sim/py_format.h"

namespace sim {

namespace {

// Queries and responses lose their surrounding blanks, as the format's own
// loader strips them.
std::string stripBlanks(std::string s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string field(YamlReader& r, const YAML::Node& map, const char* key, const std::string& what) {
    YAML::Node n = map[key];
    if (!n)
        r.fail(map, what + " has no \"" + key + "\"");
    return stripBlanks(r.text(n, what + " \"" + key + "\""));
}

Response optionalField(YamlReader& r, const YAML::Node& map, const char* key,
                       const std::string& what) {
    YAML::Node n = map[key];
    if (!n || n.IsNull())
        return std::nullopt;
    return stripBlanks(r.text(n, what + " \"" + key + "\""));
}

void checkPattern(YamlReader& r, const YAML::Node& node, const std::string& pattern) {
    std::string error;
    if (!PyFormat::compile(pattern, error))
        r.fail(node, error);
}

void loadEom(YamlReader& r, DeviceDef& dev, const YAML::Node& eom, const std::string& where) {
    r.requireMap(eom, where + " eom");
    YAML::Node gpib = eom["GPIB INSTR"];
    if (!gpib) {
        r.note(eom, where + " has no \"GPIB INSTR\" eom; it uses LF both ways");
        return;
    }
    r.requireMap(gpib, where + " eom \"GPIB INSTR\"");
    if (gpib["q"])
        dev.queryTermination = r.text(gpib["q"], where + " eom q");
    if (gpib["r"])
        dev.responseTermination = r.text(gpib["r"], where + " eom r");
}

void loadError(YamlReader& r, DeviceDef& dev, const YAML::Node& err, const std::string& where) {
    r.visit(err);
    if (err.IsScalar()) {
        dev.commandError = dev.queryError = stripBlanks(err.Scalar());
        return;
    }
    r.requireMap(err, where + " error");
    r.noteUnknownKeys(err, {"response", "status_register", "error_queue"}, where + " error");
    if (YAML::Node resp = err["response"]) {
        r.requireMap(resp, where + " error response");
        dev.commandError = optionalField(r, resp, "command_error", where + " error response");
        dev.queryError = optionalField(r, resp, "query_error", where + " error response");
    }
    if (YAML::Node regs = err["status_register"]) {
        r.requireSequence(regs, where + " status_register");
        for (const auto& reg : regs) {
            r.requireMap(reg, where + " status_register entry");
            StatusRegisterDef def{field(r, reg, "q", where + " status_register entry"), {}};
            for (const auto& kv : reg) {
                std::string key = keyText(kv.first);
                if (key != "q")
                    def.bits.emplace_back(key, int(r.integer(kv.second, key, 0, 0xFFFF)));
            }
            dev.registers.push_back(std::move(def));
        }
    }
    if (YAML::Node queues = err["error_queue"]) {
        r.requireSequence(queues, where + " error_queue");
        for (const auto& q : queues) {
            r.requireMap(q, where + " error_queue entry");
            ErrorQueueDef def{field(r, q, "q", where + " error_queue entry"),
                              field(r, q, "default", where + " error_queue entry"),
                              {}};
            for (const auto& kv : q) {
                std::string key = keyText(kv.first);
                if (key != "q" && key != "default" && key != "strip")
                    def.entries.emplace_back(key, stripBlanks(r.text(kv.second, key)));
            }
            dev.queues.push_back(std::move(def));
        }
    }
}

ValueType typeByName(YamlReader& r, const YAML::Node& node) {
    std::string t = r.text(node, "specs type");
    if (t == "float")
        return ValueType::Float;
    if (t == "int")
        return ValueType::Int;
    if (t == "str")
        return ValueType::Str;
    r.fail(node, "specs type must be float, int or str, not \"" + t + "\"");
}

Value typed(YamlReader& r, const YAML::Node& node, ValueType type, const std::string& what) {
    r.visit(node);
    if (!node.IsScalar())
        r.fail(node, what + " must be a single value");
    auto v = convertValue(scalarValue(node), type);
    if (!v)
        r.fail(node, what + " \"" + node.Scalar() + "\" does not fit the specs type");
    return *v;
}

PropertyDef loadProperty(YamlReader& r, const std::string& name, const YAML::Node& node,
                         const std::string& where) {
    std::string what = where + " property \"" + name + "\"";
    r.requireMap(node, what);
    r.noteUnknownKeys(node, {"default", "getter", "setter", "specs"}, what);
    PropertyDef p;
    p.name = name;
    if (YAML::Node specs = node["specs"]) {
        r.requireMap(specs, what + " specs");
        r.noteUnknownKeys(specs, {"min", "max", "valid", "type"}, what + " specs");
        if (specs["type"])
            p.specs.type = typeByName(r, specs["type"]);
        if (specs["min"])
            p.specs.min = typed(r, specs["min"], p.specs.type, what + " min");
        if (specs["max"])
            p.specs.max = typed(r, specs["max"], p.specs.type, what + " max");
        if (YAML::Node valid = specs["valid"]) {
            r.requireSequence(valid, what + " valid");
            for (const auto& v : valid)
                p.specs.valid.push_back(typed(r, v, p.specs.type, what + " valid"));
        }
    }
    YAML::Node def = node["default"];
    Value raw = def ? (r.visit(def), def.IsScalar() ? scalarValue(def) : Value(std::string()))
                    : Value(std::string());
    auto checked = applySpecs(raw, p.specs);
    if (!checked)
        r.fail(def ? def : node, what + " has a default outside its specs");
    p.defaultValue = *checked;
    if (YAML::Node g = node["getter"]) {
        r.requireMap(g, what + " getter");
        p.getterQuery = field(r, g, "q", what + " getter");
        p.getterResponse = field(r, g, "r", what + " getter");
        checkPattern(r, g["r"], p.getterResponse);
    }
    if (YAML::Node s = node["setter"]) {
        r.requireMap(s, what + " setter");
        p.setterQuery = field(r, s, "q", what + " setter");
        checkPattern(r, s["q"], *p.setterQuery);
        p.setterResponse = optionalField(r, s, "r", what + " setter");
        p.setterError = optionalField(r, s, "e", what + " setter");
    }
    return p;
}

}  // namespace

Value scalarValue(const YAML::Node& node) {
    const std::string& s = node.Scalar();
    if (node.Tag() != "?")
        return s;  // quoted or explicitly tagged: text
    if (s == "true" || s == "True" || s == "TRUE")
        return 1LL;
    if (s == "false" || s == "False" || s == "FALSE")
        return 0LL;
    if (auto i = readInteger(s))
        return *i;
    if (!s.empty() &&
        (isdigit(static_cast<unsigned char>(s[0])) || s[0] == '-' || s[0] == '+' || s[0] == '.'))
        if (auto d = readFloat(s))
            return *d;
    return s;
}

DeviceDef loadDevice(YamlReader& r, const std::string& name, const YAML::Node& node) {
    std::string where = "device \"" + name + "\"";
    r.requireMap(node, where);
    r.noteUnknownKeys(node, {"eom", "error", "dialogues", "properties", "delimiter"}, where);
    DeviceDef dev;
    dev.name = name;
    if (YAML::Node eom = node["eom"])
        loadEom(r, dev, eom, where);
    else
        r.note(node, where + " has no eom; it uses LF both ways");
    if (YAML::Node err = node["error"])
        loadError(r, dev, err, where);
    if (YAML::Node d = node["delimiter"])
        dev.delimiter = r.text(d, where + " delimiter");
    if (YAML::Node dialogues = node["dialogues"]) {
        r.requireSequence(dialogues, where + " dialogues");
        for (const auto& d : dialogues) {
            r.requireMap(d, where + " dialogue");
            dev.dialogues.push_back({field(r, d, "q", where + " dialogue"),
                                     optionalField(r, d, "r", where + " dialogue")});
        }
    }
    if (YAML::Node props = node["properties"]) {
        r.requireMap(props, where + " properties");
        for (const auto& kv : props)
            dev.properties.push_back(loadProperty(r, keyText(kv.first), kv.second, where));
    }
    return dev;
}

}  // namespace sim
