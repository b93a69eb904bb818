#pragma once
// What the rows of the entry-point table share: the row itself, the bench's
// addresses and the small steps several rows take. Each row runs on a fresh
// built-in bench (test_entry_points.cpp).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "gpib/ib.h"
#include "support/scratch_dir.h"

extern "C" int GpibSimReload(const char* benchPathOrNull);

namespace entrytest {

inline constexpr int kOk = -1;  // no ERR expected
inline const Addr4882_t kDmm = 9, kCounter = 12, kNobody = 20, kBad = 31;
inline const Addr4882_t kPsu = MakeAddr(5, 0x61);

struct Row {
    const char* name;
    std::function<bool()> call;  // the call; false when a detail it checks is wrong
    int iberr;                   // kOk, or the error with ERR
    int bits = 0;                // ibsta bits that must be set as well
};

inline int dev(int pad, int tmo = T3s, int eos = 0) {
    return ibdev(0, pad, NO_SAD, tmo, 1, eos);
}
inline bool wrote(int ud, const char* text) {
    ibwrt(ud, text, long(strlen(text)));
    return !(ibsta & ERR);
}
inline std::string readAll(int ud) {
    char buf[256];
    ibrd(ud, buf, sizeof buf);
    return std::string(buf, size_t(ibsta & ERR ? 0 : ibcntl));
}
inline std::string scratch(const char* name, const char* text = nullptr) {
    std::string path = testscratch::path(name);
    std::remove(path.c_str());
    if (text)
        std::ofstream(path) << text;
    return path;
}
inline short srqAfterTrigger() {
    Trigger(0, kCounter);
    short on = 0;
    TestSRQ(0, &on);
    return on;
}
inline void giveControlAway() {
    PassControl(0, kDmm);
}
inline std::string fifo() {
    std::string path = scratch("fifo");
    mkfifo(path.c_str(), 0600);
    return path;
}
// Runs a call that must come back: a process that still waits 20 s later is
// ended by the alarm, which fails the test. True when it left errno in ibcnt.
template <class F>
bool bounded(F&& call, int error) {
    alarm(20);
    call();
    alarm(0);
    return ibcnt == error;
}

// The traditional calls' rows, and the IEEE 488.2 routines' rows.
std::vector<Row> traditionalRows();
std::vector<Row> routineRows();

}  // namespace entrytest
