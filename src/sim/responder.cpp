#include "sim/responder.h"

#include <algorithm>

namespace sim {

namespace {

constexpr size_t kQueueDepth = 32;  // a full queue drops the newest, as SCPI queues do

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return s;
}

PyFormat compiled(const std::string& pattern) {
    std::string error;
    auto f = PyFormat::compile(pattern, error);
    return f ? *f : *PyFormat::compile("", error);  // the loader already refused bad patterns
}

}  // namespace

Responder::Responder(const DeviceDef& def, bool matchCase, StatusModel& status)
    : m_def(def), m_matchCase(matchCase), m_status(status) {
    auto key = [&](const std::string& q) { return m_matchCase ? q : upper(q); };
    for (size_t i = 0; i < def.dialogues.size(); ++i)
        m_exact.emplace(key(def.dialogues[i].query), Entry{Kind::Dialogue, i});
    for (size_t i = 0; i < def.properties.size(); ++i) {
        const auto& p = def.properties[i];
        m_values.push_back(p.defaultValue);
        m_getters.push_back(compiled(p.getterQuery ? p.getterResponse : std::string()));
        if (p.getterQuery)
            m_exact.emplace(key(*p.getterQuery), Entry{Kind::Getter, i});
        if (p.setterQuery)
            m_setters.push_back({i, compiled(*p.setterQuery)});
    }
    for (size_t i = 0; i < def.registers.size(); ++i) {
        m_exact.emplace(key(def.registers[i].query), Entry{Kind::Register, i});
        if (upper(def.registers[i].query) == "*ESR?" && m_esrRegister < 0)
            m_esrRegister = int(i);
    }
    m_registerValues.assign(def.registers.size(), 0);
    for (size_t i = 0; i < def.queues.size(); ++i)
        m_exact.emplace(key(def.queues[i].query), Entry{Kind::Queue, i});
    m_queues.resize(def.queues.size());
}

Reply Responder::respond(std::string_view query, std::string& out) {
    auto it = m_exact.find(query);
    if (it != m_exact.end()) {
        size_t i = it->second.index;
        switch (it->second.kind) {
            case Kind::Dialogue:
                if (!m_def.dialogues[i].response)
                    return Reply::Silent;
                out += *m_def.dialogues[i].response;
                return Reply::Answered;
            case Kind::Getter:
                m_getters[i].format(m_values[i], out);
                return Reply::Answered;
            case Kind::Register:
                if (int(i) == m_esrRegister) {
                    out += std::to_string(m_status.takeEventRegister());
                } else {
                    out += std::to_string(m_registerValues[i]);
                    m_registerValues[i] = 0;
                }
                return Reply::Answered;
            case Kind::Queue:
                if (m_queues[i].empty()) {
                    out += m_def.queues[i].defaultText;
                } else {
                    out += m_queues[i].front();
                    m_queues[i].erase(m_queues[i].begin());
                }
                return Reply::Answered;
        }
    }
    for (const auto& s : m_setters) {
        Value parsed;
        if (!s.pattern.parse(query, parsed, !m_matchCase))
            continue;
        const PropertyDef& p = m_def.properties[s.property];
        if (auto v = applySpecs(parsed, p.specs)) {
            m_values[s.property] = std::move(*v);
            if (!p.setterResponse)
                return Reply::Silent;
            out += *p.setterResponse;
            return Reply::Answered;
        }
        if (!p.setterError)
            return Reply::CommandError;
        out += *p.setterError;
        return Reply::Answered;
    }
    return Reply::Unmatched;
}

void Responder::raiseError(std::string_view name) {
    bool esrKnown = false;
    for (size_t i = 0; i < m_def.registers.size(); ++i) {
        for (const auto& [key, bits] : m_def.registers[i].bits) {
            if (key != name)
                continue;
            if (int(i) == m_esrRegister) {
                m_status.setEventBits(uint8_t(bits));
                esrKnown = true;
            } else {
                m_registerValues[i] |= bits;
            }
        }
    }
    if (!esrKnown) {
        if (name == "command_error")
            m_status.setEventBits(esr::CME);
        if (name == "query_error")
            m_status.setEventBits(esr::QYE);
        if (name == "execution_error")
            m_status.setEventBits(esr::EXE);
    }
    for (size_t i = 0; i < m_def.queues.size(); ++i)
        for (const auto& [key, text] : m_def.queues[i].entries)
            if (key == name && m_queues[i].size() < kQueueDepth)
                m_queues[i].push_back(text);
}

bool Responder::errorsQueued() const {
    return std::any_of(m_queues.begin(), m_queues.end(), [](const auto& q) { return !q.empty(); });
}

void Responder::clearErrors() {
    for (auto& q : m_queues) q.clear();
    std::fill(m_registerValues.begin(), m_registerValues.end(), 0);
}

void Responder::resetProperties() {
    for (size_t i = 0; i < m_values.size(); ++i) m_values[i] = m_def.properties[i].defaultValue;
}

}  // namespace sim
