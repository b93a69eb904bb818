// The fake platform libraries (fake_platform.h): each call takes its scripted
// outcome, does what a platform driver does with the caller's buffers, leaves
// its status per thread and in the globals, and logs itself as one line.
#include "fake_platform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace {

struct State {
    std::mutex lock;
    std::map<std::string, std::deque<fakeplatform::Outcome>> queued;
    std::map<std::string, fakeplatform::Outcome> defaults;
    std::vector<std::string> calls;
    std::map<int, int> timeouts;  // the code of each descriptor
    int nextUd = 16;
};

// A platform driver's timeout codes in microseconds (code 0: none).
long long codeUs(int code) {
    static const long long kUs[] = {0,       10,       30,       100,       300,       1000,
                                    3000,    10000,    30000,    100000,    300000,    1000000,
                                    3000000, 10000000, 30000000, 100000000, 300000000, 1000000000};
    return code > 0 && code <= 17 ? kUs[code] : 0;
}

// Goes with the library when the last handle closes it; tests open it afresh.
State& state() {
    static State s;
    return s;
}

struct ThreadStatus {
    int ibsta = 0, iberr = 0;
    long count = 0;
};
thread_local ThreadStatus tStatus;

fakeplatform::Outcome take(const std::string& name) {
    State& s = state();
    auto& q = s.queued[name];
    if (q.empty()) {
        if (s.defaults.count(name))
            return s.defaults[name];
        const char* silent = std::getenv("FAKE_PLATFORM_SILENT");
        if (name == "ibrd" && silent && *silent == '1')
            return {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .waits = true};
        return {};
    }
    fakeplatform::Outcome o = q.front();
    q.pop_front();
    return o;
}

std::string quoted(const char* bytes, long n) {
    std::string s = "\"";
    for (long i = 0; bytes && i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        s += c == '\n'                          ? std::string("\\n")
             : c >= ' ' && c < 0x7F && c != '"' ? std::string(1, char(c))
                                                : hex;
    }
    return s + "\"";
}

std::string number(long v) {
    char text[24];
    std::snprintf(text, sizeof text, v >= 256 ? "0x%lX" : "%ld", v);
    return text;
}

}  // namespace

extern "C" {

GPIB_EXPORT volatile int ibsta, iberr, ibcnt;
GPIB_EXPORT volatile long ibcntl;

}  // extern "C"

namespace {

// One call: its outcome taken, its line logged, its status left behind.
class Call {
  public:
    Call(const char* name, std::initializer_list<long> args, std::string data = "")
        : m_guard(state().lock), o(take(name)), m_ud(args.size() ? int(*args.begin()) : -1) {
        std::string line = std::string(name) + "(";
        bool first = true;
        for (long a : args) line += (first ? "" : ", ") + number(a), first = false;
        if (!data.empty())
            line += (first ? "" : ", ") + data;
        state().calls.push_back(line + ")");
    }
    int finish(long moved = 0) {
        if (o.waits) {
            // Runs into the descriptor's timeout, letting other calls in meanwhile.
            auto it = state().timeouts.find(m_ud);
            const long long us = codeUs(it == state().timeouts.end() ? 13 : it->second);
            m_guard.unlock();
            std::this_thread::sleep_for(std::chrono::microseconds(us));
        }
        long count = o.count >= 0 ? o.count : moved;
        tStatus = {o.ibsta, o.iberr, count};
        ibsta = o.ibsta;
        iberr = o.iberr;
        ibcnt = int(count);
        ibcntl = count;
        return o.ibsta;
    }
    bool failed() const { return o.ibsta & GPIB_ERR; }

  private:
    std::unique_lock<std::mutex> m_guard;

  public:
    fakeplatform::Outcome o;

  private:
    int m_ud;
};

template <class T>
int outValue(Call&& c, T* to) {
    if (to)
        *to = T(c.o.value);
    return c.finish();
}

fakeplatform::Outcome fromC(const FakePlatformOutcome* c) {
    return {c->result,    c->ibsta, c->iberr,
            c->count,     c->value, std::string(c->data ? c->data : "", size_t(c->dataLength)),
            c->waits != 0};
}

}  // namespace

extern "C" {

GPIB_EXPORT void FakePlatformReset() {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.queued.clear(), s.defaults.clear(), s.calls.clear(), s.timeouts.clear();
    s.nextUd = 16;
}

GPIB_EXPORT void FakePlatformPush(const char* name, const FakePlatformOutcome* o) {
    std::lock_guard<std::mutex> g(state().lock);
    state().queued[name].push_back(fromC(o));
}

GPIB_EXPORT void FakePlatformSetDefault(const char* name, const FakePlatformOutcome* o) {
    std::lock_guard<std::mutex> g(state().lock);
    state().defaults[name] = fromC(o);
}

GPIB_EXPORT long FakePlatformCallCount() {
    std::lock_guard<std::mutex> g(state().lock);
    return long(state().calls.size());
}

GPIB_EXPORT const char* FakePlatformCall(long i) {
    thread_local std::string line;
    std::lock_guard<std::mutex> g(state().lock);
    line = i >= 0 && size_t(i) < state().calls.size() ? state().calls[size_t(i)] : "";
    return line.c_str();
}

#ifdef FAKE_PLATFORM_BARE
GPIB_EXPORT int ibfindA(const char* name) {
    Call c("ibfindA", {}, quoted(name, name ? long(strlen(name)) : 0));
#else
GPIB_EXPORT int ibfind(const char* name) {
    Call c("ibfind", {}, quoted(name, name ? long(strlen(name)) : 0));
#endif
    c.finish();
    return c.failed() ? -1 : c.o.result;
}

GPIB_EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    Call c("ibdev", {board, pad, sad, tmo, eot, eos});
    const int ud = c.failed() ? -1 : c.o.result ? c.o.result : state().nextUd++;
    if (ud >= 0)
        state().timeouts[ud] = tmo;
    c.finish();
    return ud;
}

GPIB_EXPORT int ibwrt(int ud, const void* buf, long n) {
    Call c("ibwrt", {ud}, quoted(static_cast<const char*>(buf), n));
    return c.finish(n);
}

GPIB_EXPORT int ibrd(int ud, void* buf, long n) {
    Call c("ibrd", {ud, n});
    long copied = std::min<long>(n, long(c.o.data.size()));
    if (buf && copied > 0)
        std::memcpy(buf, c.o.data.data(), size_t(copied));
    return c.finish(copied);
}

GPIB_EXPORT int ibcmd(int ud, const void* buf, long n) {
    Call c("ibcmd", {ud}, quoted(static_cast<const char*>(buf), n));
    return c.finish(n);
}

// Calls that log their integer arguments and leave their status, nothing more.
#define FAKE_CALL1(name)                   \
    GPIB_EXPORT int name(int ud) {         \
        return Call(#name, {ud}).finish(); \
    }
#define FAKE_CALL2(name)                      \
    GPIB_EXPORT int name(int ud, int v) {     \
        return Call(#name, {ud, v}).finish(); \
    }
// Calls that answer through an out parameter.
#define FAKE_OUT(name, T)                        \
    GPIB_EXPORT int name(int ud, T* out) {       \
        return outValue(Call(#name, {ud}), out); \
    }

FAKE_CALL2(ibonl)
GPIB_EXPORT int ibconfig(int ud, int option, int v) {
    Call c("ibconfig", {ud, option, v});
    if (option == 3 && !c.failed())  // IbcTMO
        state().timeouts[ud] = v;
    return c.finish();
}

#ifndef FAKE_PLATFORM_BARE
FAKE_CALL1(ibtrg)
FAKE_CALL1(ibclr)
FAKE_CALL1(ibsic)
FAKE_CALL1(ibloc)
FAKE_CALL2(ibsre)
FAKE_CALL2(ibwait)
FAKE_CALL2(ibpad)
FAKE_CALL2(ibsad)
GPIB_EXPORT int ibtmo(int ud, int v) {
    Call c("ibtmo", {ud, v});
    if (!c.failed())
        state().timeouts[ud] = v;
    return c.finish();
}
FAKE_CALL2(ibeot)
FAKE_CALL2(ibeos)
FAKE_OUT(ibrsp, char)
FAKE_OUT(ibrpp, char)
FAKE_OUT(iblines, short)
GPIB_EXPORT int ibask(int ud, int option, int* v) {
    return outValue(Call("ibask", {ud, option}), v);
}
GPIB_EXPORT int ibln(int ud, int pad, int sad, short* found) {
    return outValue(Call("ibln", {ud, pad, sad}), found);
}

GPIB_EXPORT int ThreadIbsta() {
    return tStatus.ibsta;
}
GPIB_EXPORT int ThreadIberr() {
    return tStatus.iberr;
}
GPIB_EXPORT int ThreadIbcnt() {
    return int(tStatus.count);
}
GPIB_EXPORT long ThreadIbcntl() {
    return tStatus.count;
}
#endif

}  // extern "C"
