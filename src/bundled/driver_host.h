#pragma once
// What the exported entry points share: the one process-wide driver, the
// driver status of each calling thread, and the trace. Calls run at once
// (the driver locks each board); loading a configuration (the first call,
// GpibSimReload) excludes every call.

#include <fmt/format.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "driver/call_trace.h"
#include "driver/driver.h"

namespace bundled {

struct ThreadStatus {
    int ibsta = 0;
    int iberr = 0;
    long ibcntl = 0;
};
ThreadStatus& threadStatus();

struct Host {
    std::shared_mutex lock;  // shared by calls, exclusive for loading
    bool loaded = false;
    std::unique_ptr<gpibdrv::Driver> driver;  // empty when the configuration was refused
    std::string description;                  // of the configuration, or why it was refused
    std::string notes;
    bool describeOpenBoard = false;  // the description names the board opened last
    std::string shownDescription;    // the text GpibDriverDescription handed out last
    gpibdrv::CallTrace trace;
    // A face that keeps the status in globals as well (libgpib.so.0) sees
    // each call's status here, after the calling thread's own.
    void (*publish)(const ThreadStatus&) = nullptr;
    // What a face does with each configuration it loads, before any call.
    void (*prepare)(gpibdrv::Driver&) = nullptr;

    // Loads the configuration: the bench file at path, "" for the built-in
    // bench, NULL for what the environment says (board map, adapter, bench).
    int load(const char* pathOrNull);
    // What the operator is shown: the configuration and the board opened last.
    std::string describe();
};

Host& host();

// One exported call: holds the lock, applies the status to the calling
// thread, and writes the trace line when tracing.
class Call {
  public:
    explicit Call(const char* name) : m_name(name), m_guard(host().lock) {
        Host& h = host();
        if (!h.loaded) {
            m_guard.unlock();
            {
                std::unique_lock<std::shared_mutex> loading(h.lock);
                if (!h.loaded)
                    h.load(nullptr);
            }
            m_guard.lock();
        }
        m_driver = h.driver.get();
        if (h.trace.enabled() && m_driver)
            m_start = m_driver->nowUs();
        if (!m_driver)
            m_st = {GPIB_ERR, GPIB_EDVR, true, 0, false};
    }
    gpibdrv::Driver* driver() const { return m_driver; }
    gpibdrv::CallStatus& st() { return m_st; }

    template <class Args>
    void finish(const std::string& result, Args&& args) {
        threadStatus().ibsta = m_st.ibsta;
        if (m_st.errorSet)
            threadStatus().iberr = m_st.iberr;
        if (m_st.countSet)
            threadStatus().ibcntl = m_st.count;
        Host& h = host();
        if (h.publish)
            h.publish(threadStatus());
        if (!h.trace.enabled())
            return;
        double us = m_driver ? double(m_driver->nowUs() - m_start) : 0.0;
        h.trace.record(m_name, args(), result, threadStatus().ibsta, threadStatus().iberr,
                       threadStatus().ibcntl, us);
    }
    int finishInt(int result, auto&& args) {
        finish(std::to_string(result), args);
        return result;
    }

  private:
    const char* m_name;
    std::shared_lock<std::shared_mutex> m_guard;
    gpibdrv::Driver* m_driver = nullptr;
    gpibdrv::CallStatus m_st;
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

}  // namespace bundled
