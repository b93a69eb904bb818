// State and control side of the scripted test driver. The exported entry
// points (scripted_entry_points.cpp) take their outcome from here and log
// every call; tests script outcomes and read the log through the same state.

#include "scripted_driver.h"

#include <cstdio>
#include <deque>
#include <map>

#include "scripted_state.h"

namespace scripted {
namespace {

struct State {
    std::vector<Call> calls;
    std::map<std::string, std::deque<Outcome>> queues;
    std::map<std::string, Outcome> defaults;
    int ibsta = 0;
    int iberr = 0;
    long ibcntl = 0;
};

State& state() {
    static State s;
    return s;
}

Outcome builtInDefault(const std::string& name) {
    Outcome o;
    // A fresh device descriptor, so an unscripted ibdev looks like success.
    if (name == "ibdev")
        o.result = 16;
    return o;
}

// Where the quoted data stands among the arguments of a line, or -1.
int dataPosition(const std::string& name) {
    if (name == "ibfindA" || name == "ibfind")
        return 0;
    if (name == "Send")
        return 2;
    return -1;
}

std::string quoted(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        switch (c) {
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\0':
                out += "\\0";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

}  // namespace

void Reset() {
    State& s = state();
    s = State{};
}

void Push(const std::string& name, const Outcome& outcome) {
    state().queues[name].push_back(outcome);
}

void SetDefault(const std::string& name, const Outcome& outcome) {
    state().defaults[name] = outcome;
}

const std::vector<Call>& Calls() {
    return state().calls;
}

std::vector<std::string> CallLines() {
    std::vector<std::string> lines;
    for (const Call& call : state().calls) {
        std::vector<std::string> parts;
        for (long a : call.args) parts.push_back(std::to_string(a));
        int pos = dataPosition(call.name);
        if (pos >= 0 && pos <= static_cast<int>(parts.size())) {
            parts.insert(parts.begin() + pos, quoted(call.data));
        }
        std::string line = call.name + "(";
        for (size_t i = 0; i < parts.size(); ++i) line += (i ? ", " : "") + parts[i];
        lines.push_back(line + ")");
    }
    return lines;
}

std::string LibraryPath() {
    return SCRIPTED_LIBRARY_PATH;
}

namespace detail {

Outcome Take(const std::string& name) {
    State& s = state();
    auto queue = s.queues.find(name);
    if (queue != s.queues.end() && !queue->second.empty()) {
        Outcome o = queue->second.front();
        queue->second.pop_front();
        return o;
    }
    auto def = s.defaults.find(name);
    return def != s.defaults.end() ? def->second : builtInDefault(name);
}

void Log(Call call, const Outcome& outcome, long ibcntl) {
    State& s = state();
    s.ibsta = outcome.ibsta;
    s.iberr = outcome.iberr;
    s.ibcntl = ibcntl;
    s.calls.push_back(std::move(call));
}

int Ibsta() {
    return state().ibsta;
}
int Iberr() {
    return state().iberr;
}
long Ibcntl() {
    return state().ibcntl;
}

std::vector<int> ReadList(const unsigned short* list) {
    std::vector<int> words;
    for (int i = 0; list && i < kMaxListCells; ++i) {
        words.push_back(list[i]);
        if (list[i] == 0xFFFF)
            break;
    }
    return words;
}

}  // namespace detail
}  // namespace scripted
