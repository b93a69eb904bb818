#pragma once
// What the exported entry points share: the one process-wide bench behind
// one lock, the driver status of each calling thread, and the trace.

#include <fmt/format.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "sim/bench.h"
#include "sim/call_trace.h"

namespace sim::host {

struct ThreadStatus {
    int ibsta = 0;
    int iberr = 0;
    long ibcntl = 0;
};
ThreadStatus& threadStatus();

struct Host {
    std::mutex lock;
    bool loaded = false;
    std::unique_ptr<Bench> bench;  // empty when the bench file was refused
    std::string description;
    std::string notes;
    CallTrace trace;

    // Loads the bench: path, "" for the built-in one, NULL for the environment's.
    int load(const char* pathOrNull);
};

Host& host();

// One exported call: holds the lock, applies the status to the calling
// thread, and writes the trace line when tracing.
class Call {
  public:
    explicit Call(const char* name) : m_name(name), m_guard(host().lock) {
        Host& h = host();
        if (!h.loaded)
            h.load(nullptr);
        m_bench = h.bench.get();
        if (h.trace.enabled() && m_bench)
            m_start = m_bench->clock().nowUs();
        if (!m_bench)
            m_st = {GPIB_ERR, GPIB_EDVR, true, 0, false};
    }
    Bench* bench() const { return m_bench; }
    CallStatus& st() { return m_st; }

    template <class Args>
    void finish(const std::string& result, Args&& args) {
        threadStatus().ibsta = m_st.ibsta;
        if (m_st.errorSet)
            threadStatus().iberr = m_st.iberr;
        if (m_st.countSet)
            threadStatus().ibcntl = m_st.count;
        Host& h = host();
        if (!h.trace.enabled())
            return;
        double us = m_bench ? double(m_bench->clock().nowUs() - m_start) : 0.0;
        h.trace.record(m_name, args(), result, threadStatus().ibsta, threadStatus().iberr,
                       threadStatus().ibcntl, us);
    }
    int finishInt(int result, auto&& args) {
        finish(std::to_string(result), args);
        return result;
    }

  private:
    const char* m_name;
    std::lock_guard<std::mutex> m_guard;
    Bench* m_bench = nullptr;
    CallStatus m_st;
    int64_t m_start = 0;
};

inline std::string hex(unsigned v) {
    return fmt::format("0x{:04X}", v);
}

inline std::string list(const Addr4882_t* l) {
    if (!l)
        return "NULL";
    std::string s = "{";
    for (int i = 0; i < 40 && l[i] != GPIB_NOADDR; ++i) s += (i ? "," : "") + std::to_string(l[i]);
    return s + "}";
}

// Runs body, turning anything thrown into a driver failure: no exception may
// cross into the calling program.
template <class F>
auto guarded(Call& c, F&& body, decltype(body()) onError) {
    try {
        return body();
    } catch (...) {
        c.st() = {GPIB_ERR, GPIB_EDVR, true, 0, false};
        return onError;
    }
}

}  // namespace sim::host
