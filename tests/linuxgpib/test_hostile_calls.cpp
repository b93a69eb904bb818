// Every entry point of both faces of the driver against what a careless or
// hostile program passes: descriptors no call handed out (negative, INT_MIN,
// INT_MAX, past the table, a board that is not there), one already closed, a
// device where a 488.2 routine wants its board, NULL buffers and out-values,
// negative and huge counts. libgpib.so.0 answers as linux-gpib's library
// does; libtm-gpib.so, the window's, keeps its own rule (EDVR) on the calls
// it exports. Both are loaded as programs load them. The sanitizer build runs
// this too: arithmetic that overflows on a bad descriptor aborts it there.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "gpib/ib.h"

namespace {

struct Lib {
    void* handle = nullptr;
    bool linuxGpib = false;
    template <class F>
    F* get(const char* name) const {
        return reinterpret_cast<F*>(dlsym(handle, name));
    }
    int sta() const { return get<int()>("ThreadIbsta")(); }
    int err() const { return get<int()>("ThreadIberr")(); }
    long cntl() const { return get<long()>("ThreadIbcntl")(); }
};

// One call of the library's own entry point, on the descriptor ud; the
// arguments besides are good ones (or the bad pointer under test).
struct Caller {
    const char* name;
    void (*call)(const Lib& lib, int ud);
    int onDevice = -1;  // a 488.2 routine: linux-gpib's answer for a device descriptor
};
// clang-format off
#define CALLER(name, ...) Caller{#name, [](const Lib& lib, [[maybe_unused]] int ud) { \
    lib.get<decltype(::name)>(#name)(__VA_ARGS__); }}
#define ROUTINE(name, onDevice, ...) Caller{#name, [](const Lib& lib, int ud) { \
    lib.get<decltype(::name)>(#name)(__VA_ARGS__); }, onDevice}
// clang-format on

const Addr4882_t kList[] = {9, NOADDR};
int value;
short word, words[4];
char byte, buf[64], board0[] = "GPIB0";
Addr4882_t found[32];

// The descriptor checks: lib/ibutil.c, ibCheckDescriptor(), through
// enter_library() in every call. For a device descriptor given to a 488.2
// routine each routine has its own answer: EDVR where it checks is_interface
// itself (ibRsp.c, ibClr.c, ibCmd.c SendSetup, ibFindLstn.c, ibLoc.c, ibSre.c,
// ibTrg.c, ibppc.c, ibRpp.c, ibWait.c, ibBoard.c, self_test.c), EARG where it
// is built on a board-only call (ibWrt.c, ibRd.c, ibCmd.c, ibSic.c,
// ibLines.c, pass_control.c).
// clang-format off
const Caller kCallers[] = {
    CALLER(ibask, ud, IbaPAD, &value), CALLER(ibbna, ud, board0), CALLER(ibcac, ud, 0),
    CALLER(ibclr, ud), CALLER(ibcmd, ud, "?", 1), CALLER(ibcmda, ud, "?", 1),
    CALLER(ibconfig, ud, IbcTMO, T1s), CALLER(ibdma, ud, 1), CALLER(ibeos, ud, 0),
    CALLER(ibeot, ud, 1), CALLER(ibevent, ud, &word), CALLER(ibgts, ud, 0), CALLER(ibist, ud, 1),
    CALLER(iblines, ud, &word), CALLER(ibln, ud, 9, NO_SAD, &word), CALLER(ibloc, ud),
    CALLER(ibonl, ud, 1), CALLER(ibpad, ud, 3), CALLER(ibpct, ud), CALLER(ibppc, ud, 0),
    CALLER(ibrd, ud, buf, sizeof buf), CALLER(ibrda, ud, buf, sizeof buf),
    CALLER(ibrdf, ud, "/dev/null"), CALLER(ibrpp, ud, &byte), CALLER(ibrsc, ud, 1),
    CALLER(ibrsp, ud, &byte), CALLER(ibrsv, ud, 1), CALLER(ibrsv2, ud, 1, 0), CALLER(ibsad, ud, 0),
    CALLER(ibsic, ud), CALLER(ibspb, ud, &word), CALLER(ibsre, ud, 1), CALLER(ibstop, ud),
    CALLER(ibtmo, ud, T1s), CALLER(ibtrg, ud), CALLER(ibwait, ud, 0), CALLER(ibwrt, ud, "x", 1),
    CALLER(ibwrta, ud, "x", 1), CALLER(ibwrtf, ud, "/dev/null"),
    ROUTINE(AllSPoll, EDVR, ud, kList, words), ROUTINE(AllSpoll, EDVR, ud, kList, words),
    ROUTINE(DevClear, EDVR, ud, 9), ROUTINE(DevClearList, EDVR, ud, kList),
    ROUTINE(EnableLocal, EDVR, ud, kList), ROUTINE(EnableRemote, EDVR, ud, kList),
    ROUTINE(FindLstn, EDVR, ud, kList, found, 4), ROUTINE(FindRQS, EDVR, ud, kList, &word),
    ROUTINE(PassControl, EARG, ud, 9), ROUTINE(PPoll, EDVR, ud, &word),
    ROUTINE(PPollConfig, EDVR, ud, 9, 1, 1), ROUTINE(PPollUnconfig, EDVR, ud, kList),
    ROUTINE(RcvRespMsg, EARG, ud, buf, 8, STOPend), ROUTINE(ReadStatusByte, EDVR, ud, 9, &word),
    ROUTINE(Receive, EARG, ud, 9, buf, 8, STOPend), ROUTINE(ReceiveSetup, EARG, ud, 9),
    ROUTINE(ResetSys, EDVR, ud, kList), ROUTINE(Send, EARG, ud, 9, "x", 1, DABend),
    ROUTINE(SendCmds, EARG, ud, "?", 1), ROUTINE(SendDataBytes, EARG, ud, "x", 1, NULLend),
    ROUTINE(SendIFC, EARG, ud), ROUTINE(SendLLO, EDVR, ud),
    ROUTINE(SendList, EARG, ud, kList, "x", 1, NULLend), ROUTINE(SendSetup, EDVR, ud, kList),
    ROUTINE(SetRWLS, EDVR, ud, kList), ROUTINE(TestSRQ, EARG, ud, &word),
    ROUTINE(TestSys, EDVR, ud, kList, words), ROUTINE(Trigger, EDVR, ud, 9),
    ROUTINE(TriggerList, EDVR, ud, kList), ROUTINE(WaitSRQ, EDVR, ud, &word),
};
// clang-format on

// NULL where a call writes or reads, and negative counts, on a good device
// descriptor (ud) or board 0. linux-gpib's library has no answer to copy
// here: it writes through the pointer, or hands it to the kernel (EDVR,
// EFAULT) after the bus transfer, and the bytes are lost.
// clang-format off
const Caller kBadPointers[] = {
    CALLER(ibask, 0, IbaPAD, nullptr), CALLER(ibbna, ud, nullptr), CALLER(ibcmd, 0, nullptr, 1),
    CALLER(ibcmd, 0, "?", -1), CALLER(ibcmda, 0, nullptr, 1), CALLER(ibevent, 0, nullptr),
    CALLER(iblines, 0, nullptr), CALLER(ibln, 0, 9, NO_SAD, nullptr), CALLER(ibrd, ud, nullptr, 8),
    CALLER(ibrd, ud, buf, LONG_MIN), CALLER(ibrda, ud, nullptr, 8), CALLER(ibrdf, ud, nullptr),
    CALLER(ibrpp, 0, nullptr), CALLER(ibrsp, ud, nullptr), CALLER(ibspb, ud, nullptr),
    CALLER(ibwrt, ud, nullptr, 4), CALLER(ibwrt, ud, "x", -1), CALLER(ibwrta, ud, nullptr, 4),
    CALLER(ibwrtf, ud, nullptr), CALLER(AllSpoll, 0, kList, nullptr),
    CALLER(FindLstn, 0, kList, nullptr, 4), CALLER(FindLstn, 0, kList, found, INT_MIN),
    CALLER(FindRQS, 0, kList, nullptr), CALLER(PPoll, 0, nullptr),
    CALLER(RcvRespMsg, 0, nullptr, 8, STOPend), CALLER(ReadStatusByte, 0, 9, nullptr),
    CALLER(Receive, 0, 9, nullptr, 8, STOPend), CALLER(Receive, 0, 9, buf, -1, STOPend),
    CALLER(Send, 0, 9, nullptr, 4, DABend), CALLER(Send, 0, 9, "x", LONG_MIN, DABend),
    CALLER(SendCmds, 0, nullptr, 1), CALLER(SendDataBytes, 0, nullptr, 4, NULLend),
    CALLER(SendList, 0, kList, nullptr, 4, NULLend), CALLER(TestSRQ, 0, nullptr),
    CALLER(TestSys, 0, kList, nullptr), CALLER(WaitSRQ, 0, nullptr),
};
// clang-format on

// What the call printed on standard error.
template <class F>
std::string stderrOf(F&& f) {
    std::fflush(stderr);
    int saved = dup(2);
    std::FILE* out = std::tmpfile();
    dup2(fileno(out), 2);
    f();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text(256, '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    return text;
}

class HostileCalls : public testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        lib.linuxGpib = GetParam();
        lib.handle = dlopen(lib.linuxGpib ? LINUXGPIB_LIBRARY : SIM_LIBRARY, RTLD_NOW);
        ASSERT_NE(lib.handle, nullptr) << dlerror();
        setenv("GPIB_SIM_INSTANT", "1", 1);
        ASSERT_EQ(lib.get<int(const char*)>("GpibSimReload")(""), 0);
    }
    void TearDown() override {
        if (lib.handle)
            dlclose(lib.handle);
    }
    int open(int pad) const { return lib.get<decltype(ibdev)>("ibdev")(0, pad, 0, T3s, 1, 0); }
    Lib lib;
};

TEST_P(HostileCalls, BadDescriptorsAreRefusedAsTheFaceDoes) {
    const int device = open(9), closed = open(12);
    ASSERT_GE(closed, 16);
    lib.get<decltype(ibonl)>("ibonl")(closed, 0);
    const std::pair<const char*, int> bad[] = {
        {"-1", -1},           {"INT_MIN", INT_MIN},          {"INT_MAX", INT_MAX},
        {"never opened", 40}, {"past the table", 16 + 1024}, {"no such board", 9},
        {"closed", closed}};
    int tried = 0;
    for (const Caller& caller : kCallers) {
        if (!dlsym(lib.handle, caller.name))
            continue;  // the window's library exports the calls the window makes
        ++tried;
        for (const auto& entry : bad) {
            const char* what = entry.first;
            const int ud = entry.second;
            SCOPED_TRACE(std::string(caller.name) + " on " + what);
            if (lib.linuxGpib)
                lib.get<decltype(ibcmd)>("ibcmd")(0, "?", 1);  // a count the refusal clears
            std::string printed = stderrOf([&] { caller.call(lib, ud); });
            EXPECT_EQ(lib.sta(), ERR);
            EXPECT_EQ(lib.err(), lib.linuxGpib ? EARG : EDVR);
            EXPECT_EQ(printed, lib.linuxGpib ? "libgpib: invalid descriptor\n" : "");
            // linux-gpib's library zeroes the count as each call begins.
            EXPECT_TRUE(!lib.linuxGpib || lib.cntl() == 0) << lib.cntl();
        }
        if (caller.onDevice < 0)
            continue;
        SCOPED_TRACE(std::string(caller.name) + " on a device");
        EXPECT_EQ(stderrOf([&] { caller.call(lib, device); }), "");
        EXPECT_EQ(lib.sta() & ERR, ERR);
        EXPECT_EQ(lib.err(), lib.linuxGpib ? caller.onDevice : EDVR);
    }
    EXPECT_EQ(tried, lib.linuxGpib ? int(std::size(kCallers)) : 18);
}

TEST_P(HostileCalls, BadPointersAndCountsAreRefusedBeforeTheBus) {
    const int device = open(9);
    for (const Caller& caller : kBadPointers) {
        if (!dlsym(lib.handle, caller.name))
            continue;
        caller.call(lib, device);
        EXPECT_EQ(lib.sta() & ERR, ERR) << caller.name;
        EXPECT_EQ(lib.err(), EARG) << caller.name;
    }
    // Huge counts are taken at their word: a buffer that holds the answer is
    // enough, and nothing is sized by the count.
    lib.get<decltype(SendIFC)>("SendIFC")(0);  // the window's library leaves that to the program
    // EOI with the last byte, in each library's numbering.
    lib.get<decltype(Send)>("Send")(0, 9, "*IDN?\n", 6, lib.linuxGpib ? DABend : 2);
    lib.get<decltype(Receive)>("Receive")(0, 9, buf, LONG_MAX, STOPend);
    EXPECT_EQ(std::string(buf, size_t(lib.cntl())), "SIMULATED BENCH,DMM-9,0001,1.0\n");
    lib.get<decltype(FindLstn)>("FindLstn")(0, kList, found, INT_MAX);
    EXPECT_EQ(lib.sta() & ERR, 0) << lib.err();
    EXPECT_EQ(found[0], 9);
}

INSTANTIATE_TEST_SUITE_P(Faces, HostileCalls, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "LinuxGpib" : "Window";
                         });

}  // namespace
