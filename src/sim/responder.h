#pragma once
// How one instrument of the device-definition format answers a query: its
// dialogues, property getters, status registers and error queues (looked up
// by the exact query), then its property setters (matched as patterns). It
// keeps the property values and the error bookkeeping. Built once per bench
// load, so answering does no pattern work beyond the setters.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sim/bench_definition.h"
#include "sim/py_format.h"
#include "sim/status_model.h"

namespace sim {

enum class Reply { Answered, Silent, CommandError, Unmatched };

class Responder {
  public:
    // matchCase false: headers match whatever their case (queries arrive in
    // upper case then). The status model receives the event bits of errors.
    Responder(const DeviceDef& def, bool matchCase, StatusModel& status);

    // Appends the answer (without termination) to out when there is one.
    Reply respond(std::string_view query, std::string& out);

    // Records an error by the format's names: "command_error",
    // "query_error", "execution_error": sets the event bits of the registers
    // that know it and queues the texts of the error queues that know it.
    void raiseError(std::string_view name);
    bool errorsQueued() const;
    void clearErrors();
    void resetProperties();

    const DeviceDef& definition() const { return m_def; }
    const Value& propertyValue(size_t i) const { return m_values[i]; }

  private:
    enum class Kind { Dialogue, Getter, Register, Queue };
    struct Entry {
        Kind kind;
        size_t index;
    };
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    struct Setter {
        size_t property;
        PyFormat pattern;
    };

    const DeviceDef& m_def;
    bool m_matchCase;
    StatusModel& m_status;
    std::unordered_map<std::string, Entry, Hash, std::equal_to<>> m_exact;
    std::vector<PyFormat> m_getters;  // per property; unused when it has none
    std::vector<Setter> m_setters;
    std::vector<Value> m_values;
    std::vector<int> m_registerValues;
    int m_esrRegister = -1;  // the register read by *ESR?, which is the 488.2 one
    std::vector<std::vector<std::string>> m_queues;
};

}  // namespace sim
