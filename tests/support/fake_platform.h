#pragma once
// Control side of the fake platform libraries: shared libraries that export a
// platform driver's traditional calls (ibfind, ibdev, ibwrt, ibrd, ...) and
// its status, as a board of kind library loads them with dlopen. A test opens
// the same file, so both handles name one loaded library and share its state:
// the test scripts what each call answers and reads back every call made.
//
// libgpib-platform-fake.so is of linux-gpib's family (ibfind, per-thread
// status and the globals); libgpib-platform-bare.so exports ibfindA, ibdev,
// ibonl, ibwrt, ibrd, ibcmd and ibconfig only, with the globals and without
// per-thread status.
//
// Each descriptor keeps the timeout code ibdev, ibtmo or ibconfig gave it;
// an outcome with waits set takes that long before it answers, as a call
// that runs into its timeout does. With FAKE_PLATFORM_SILENT=1 in the
// environment, an ibrd nothing was scripted for is a read of a silent device:
// it waits its timeout and fails with TIMO and EABO (for a library loaded by
// a program the test cannot script, such as tm-gateway).

#include <dlfcn.h>

#include <string>
#include <vector>

#include "abi/gpib_abi.h"

extern "C" {
struct FakePlatformOutcome {
    int result;  // ibfind and ibdev: the descriptor (ibdev: 0 for the next free one)
    int ibsta;   // what the call leaves, and returns where it returns ibsta
    int iberr;
    long count;        // -1: what moved (ibwrt and ibcmd: all of it; ibrd: data)
    int value;         // through the out parameter: ibask, ibln, iblines, ibrsp, ibrpp
    const char* data;  // ibrd: the bytes handed over
    long dataLength;
    int waits;  // nonzero: the call takes its descriptor's timeout first
};
}

namespace fakeplatform {

struct Outcome {
    int result = 0;
    int ibsta = GPIB_CMPL;
    int iberr = 0;
    long count = -1;
    int value = 0;
    std::string data{};
    bool waits = false;
};

class Control {
  public:
    explicit Control(const std::string& path) : m_handle(dlopen(path.c_str(), RTLD_NOW)) {}
    ~Control() {
        if (m_handle)
            dlclose(m_handle);
    }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    bool loaded() const { return m_handle != nullptr; }
    // Forgets every call, queued outcome and default.
    void reset() { fn<void (*)()>("FakePlatformReset")(); }
    // The next call of that name answers this; several queue up.
    void push(const char* name, const Outcome& o) { send("FakePlatformPush", name, o); }
    // What calls of that name answer once their queue is empty.
    void setDefault(const char* name, const Outcome& o) { send("FakePlatformSetDefault", name, o); }
    // Every call since reset, one line each: ibwrt(16, "*IDN?\n"), numbers
    // from 256 up in hex.
    std::vector<std::string> calls() {
        std::vector<std::string> lines;
        long n = fn<long (*)()>("FakePlatformCallCount")();
        for (long i = 0; i < n; ++i)
            lines.push_back(fn<const char* (*)(long)>("FakePlatformCall")(i));
        return lines;
    }

  private:
    template <class F>
    F fn(const char* name) {
        return reinterpret_cast<F>(dlsym(m_handle, name));
    }
    void send(const char* entry, const char* name, const Outcome& o) {
        FakePlatformOutcome c{
            o.result,       o.ibsta, o.iberr, o.count, o.value, o.data.data(), long(o.data.size()),
            o.waits ? 1 : 0};
        fn<void (*)(const char*, const FakePlatformOutcome*)>(entry)(name, &c);
    }

    void* m_handle;
};

}  // namespace fakeplatform
