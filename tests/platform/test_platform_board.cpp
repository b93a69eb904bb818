// A board of kind library over scripted fake platform libraries: the calls
// each operation makes and what it makes of their status, the calls a
// library lacks, and the libraries that are refused and why.
#include <gtest/gtest.h>

#include <functional>

#include "platform/library_board.h"
#include "support/fake_platform.h"

namespace {

using fakeplatform::Outcome;
using gpibdrv::Board;
using gpibdrv::BusAddress;
using gpibdrv::EndMode;
using gpibdrv::kDone;
using gpibdrv::Timeout;
using Lines = std::vector<std::string>;

constexpr int kCic = GPIB_CMPL | GPIB_CIC;
constexpr BusAddress kMeter{9, -1};

class PlatformBoardTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fake.loaded() && bare.loaded());
        fake.reset();
        bare.reset();
    }
    // A board opened on the library, its opening calls forgotten.
    std::unique_ptr<Board> opened(const std::string& board = "0",
                                  const std::string& library = FAKE_PLATFORM_LIBRARY) {
        platform::LibraryOptions o;
        o.library = library;
        o.board = board;
        auto b = platform::makeLibraryBoard(o);
        std::string reason;
        EXPECT_EQ(b->open(reason), kDone) << reason;
        fake.reset();
        bare.reset();
        return b;
    }
    fakeplatform::Control fake{FAKE_PLATFORM_LIBRARY};
    fakeplatform::Control bare{FAKE_PLATFORM_BARE_LIBRARY};
};

TEST_F(PlatformBoardTest, OpensByIndexOrNameAndPutsItsOwnAddressBack) {
    platform::LibraryOptions o;
    o.library = FAKE_PLATFORM_LIBRARY;
    o.board = "0";
    o.controllerAddress = 5;
    auto b = platform::makeLibraryBoard(o);
    EXPECT_EQ(b->describe(), "platform board 0 of " FAKE_PLATFORM_LIBRARY ", not opened yet");
    fake.push("ibask", {.value = 3});
    fake.push("ibask", {.value = 0x61});
    fake.setDefault("ibsad", {.ibsta = kCic});
    std::string reason;
    ASSERT_EQ(b->open(reason), kDone) << reason;
    // linux-gpib takes the index as the board descriptor; nothing reaches the bus.
    EXPECT_EQ(fake.calls(), (Lines{"ibask(0, 1)", "ibask(0, 2)", "ibpad(0, 5)", "ibsad(0, 0)"}));
    EXPECT_EQ(b->statusBits(), GPIB_CIC);
    EXPECT_EQ(b->describe(), "platform board 0 of " FAKE_PLATFORM_LIBRARY " (linux-gpib family)");

    // A name goes through ibfind; the library says which index it has.
    fake.reset();
    o.board = "violet";
    b = platform::makeLibraryBoard(o);
    fake.push("ibfind", {.result = 3});
    fake.push("ibask", {.value = 2});
    fake.setDefault("ibask", {.value = 5});
    ASSERT_EQ(b->open(reason), kDone) << reason;
    long sent = 0;
    EXPECT_EQ(b->send(kMeter, "X", 1, EndMode::EoiOnLast, Timeout{13}, sent), kDone);
    EXPECT_EQ(fake.calls(),
              (Lines{"ibfind(\"violet\")", "ibask(3, 0x200)", "ibask(3, 1)", "ibask(3, 2)",
                     "ibsad(3, 0)", "ibdev(2, 9, 0, 13, 1, 0)", "ibwrt(16, \"X\")"}));
    b.reset();  // gives back what it opened
    EXPECT_EQ(fake.calls().back(), "ibonl(3, 0)");
}

TEST_F(PlatformBoardTest, EachOperationIsTheLibrarysCall) {
    struct Row {
        const char* what;
        std::vector<std::pair<const char*, Outcome>> script;
        std::function<int(Board&)> op;
        Lines calls;
        int result = kDone;
    };
    const std::string dev = "ibdev(0, 9, 0, 13, 1, 0)";
    const Row rows[] = {
        {"send with EOI",
         {},
         [](Board& b) {
             long sent = 0;
             int r = b.send(kMeter, "*IDN?", 5, EndMode::EoiOnLast, Timeout{11}, sent);
             EXPECT_EQ(sent, 5);
             return r;
         },
         {dev, "ibtmo(16, 11)", "ibwrt(16, \"*IDN?\")"}},
        {"send without EOI, then with a line feed",
         {},
         [](Board& b) {
             long sent = 0;
             b.send(kMeter, "A", 1, EndMode::None, Timeout{13}, sent);
             int r = b.send(kMeter, "B", 1, EndMode::AppendLf, Timeout{13}, sent);
             EXPECT_EQ(sent, 1);  // the line feed is the driver's, not the caller's
             return r;
         },
         {dev, "ibeot(16, 0)", "ibwrt(16, \"A\")", "ibeot(16, 1)", "ibwrt(16, \"B\\n\")"}},
        {"read to a line feed",
         {{"ibrd", {.ibsta = GPIB_CMPL | GPIB_END, .data = "1.5\n"}}},
         [](Board& b) {
             char buf[100];
             long got = 0;
             int ended = 0;
             int r = b.receive(kMeter, buf, 100, '\n', Timeout{13}, got, ended);
             EXPECT_EQ(std::string(buf, size_t(got)), "1.5\n");
             EXPECT_EQ(ended, gpibdrv::kEndChar);
             return r;
         },
         {dev, "ibeos(16, 0x140A)", "ibrd(16, 100)"}},
        {"read to EOI that fills the buffer",
         {{"ibrd", {.ibsta = GPIB_CMPL | GPIB_END, .data = "ABCD"}}},
         [](Board& b) {
             char buf[4];
             long got = 0;
             int ended = 0;
             int r = b.receive(kMeter, buf, 4, -1, Timeout{13}, got, ended);
             EXPECT_EQ(ended, gpibdrv::kEndEoi | gpibdrv::kEndCount);
             return r;
         },
         {dev, "ibrd(16, 4)"}},
        {"a read that times out keeps its bytes",
         {{"ibrd", {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .data = "12"}}},
         [](Board& b) {
             char buf[10];
             long got = 0;
             int ended = 7;
             int r = b.receive(kMeter, buf, 10, -1, Timeout{10}, got, ended);
             EXPECT_EQ(got, 2);
             EXPECT_EQ(ended, 0);
             return r;
         },
         {dev, "ibtmo(16, 10)", "ibrd(16, 10)"},
         GPIB_EABO},
        {"serial poll at a secondary address",
         {{"ibrsp", {.value = 0x41}}},
         [](Board& b) {
             uint8_t stb = 0;
             int r = b.serialPoll({5, 1}, Timeout{11}, stb);
             EXPECT_EQ(stb, 0x41);
             return r;
         },
         {"ibdev(0, 5, 97, 13, 1, 0)", "ibtmo(16, 11)", "ibrsp(16)"}},
        {"trigger and clear, one device and the bus",
         {},
         [](Board& b) {
             b.trigger(&kMeter);
             b.clear(&kMeter);
             b.trigger(nullptr);
             return b.clear(nullptr);
         },
         {dev, "ibtrg(16)", "ibclr(16)", "ibtmo(0, 13)", "ibcmd(0, \"\\x08\")",
          "ibcmd(0, \"\\x14\")"}},
        {"IFC makes the board controller",
         {{"ibsic", {.ibsta = kCic}}},
         [](Board& b) {
             int r = b.interfaceClear();
             EXPECT_EQ(b.statusBits(), GPIB_CIC);
             return r;
         },
         {"ibsic(0)"}},
        {"REN off", {}, [](Board& b) { return b.remoteEnable(false); }, {"ibsre(0, 0)"}},
        {"command bytes, and go to local",
         {},
         [](Board& b) {
             const uint8_t bytes[] = {gpibdrv::cmd::UNL, gpibdrv::cmd::LAD(9)};
             long sent = 0;
             b.command(bytes, Timeout{12}, sent);
             EXPECT_EQ(sent, 2);
             return b.goToLocal(kMeter);
         },
         {"ibtmo(0, 12)", "ibcmd(0, \"?)\")", dev, "ibloc(16)"}},
        {"the lines and the SRQ line",
         {{"iblines", {.value = 0x2021}}, {"iblines", {.value = 0x10}}},
         [](Board& b) {
             int state = 0;
             b.lines(state);
             EXPECT_EQ(state, 0x2021);
             bool srq = true;
             int r = b.srqLine(srq);  // not a line it sees: its status says
             EXPECT_FALSE(srq);
             return r;
         },
         {"iblines(0)", "iblines(0)", "ibwait(0, 0)"}},
        {"parallel poll",
         {{"ibrpp", {.value = 0x12}}},
         [](Board& b) {
             uint8_t v = 0;
             int r = b.parallelPoll(Timeout{9}, v);
             EXPECT_EQ(v, 0x12);
             return r;
         },
         {"ibtmo(0, 9)", "ibrpp(0)"}},
        {"SRQ wait",
         {{"ibwait", {.ibsta = kCic | GPIB_SRQI}}},
         [](Board& b) {
             bool srq = false;
             int r = b.waitSrq(Timeout::ofUs(3000000), srq);
             EXPECT_TRUE(srq);
             return r;
         },
         {"ibtmo(0, 12)", "ibwait(0, 0x5000)"}},
        {"the board's own address",
         {},
         [](Board& b) { return b.setOwnAddress(7, 0x61); },
         {"ibpad(0, 7)", "ibsad(0, 97)"}},
        {"an error is the library's",
         {{"ibwrt", {.ibsta = GPIB_ERR, .iberr = GPIB_ENOL, .count = 0}}},
         [](Board& b) {
             long sent = 9;
             int r = b.send(kMeter, "X", 1, EndMode::EoiOnLast, Timeout{13}, sent);
             EXPECT_EQ(sent, 0);
             return r;
         },
         {dev, "ibwrt(16, \"X\")"},
         GPIB_ENOL},
        {"a count beyond the buffer, an error code of no meaning",
         {{"ibrd", {.ibsta = GPIB_CMPL, .count = 500}},
          {"ibwrt", {.ibsta = GPIB_ERR, .iberr = -1}}},
         [](Board& b) {
             char buf[10];
             long got = 0;
             int ended = 0;
             EXPECT_EQ(b.receive(kMeter, buf, 10, -1, Timeout{13}, got, ended), kDone);
             EXPECT_EQ(got, 10);
             return b.send(kMeter, "X", 1, EndMode::EoiOnLast, Timeout{13}, got);
         },
         {dev, "ibrd(16, 10)", "ibwrt(16, \"X\")"},
         GPIB_EDVR},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto b = opened();
        for (const auto& [name, o] : row.script) fake.push(name, o);
        EXPECT_EQ(row.op(*b), row.result);
        EXPECT_EQ(fake.calls(), row.calls);
    }
}

TEST_F(PlatformBoardTest, ListenerSearchAsksForAllSecondariesAtOnce) {
    auto b = opened();
    fake.setDefault("ibln", {.ibsta = kCic});
    fake.push("ibln", {.ibsta = kCic, .value = 1});  // a listener at 3
    fake.push("ibln", {.ibsta = kCic});              // none at 4 alone ...
    fake.push("ibln", {.ibsta = kCic, .value = 1});  // ... but at some secondary
    fake.push("ibln", {.ibsta = kCic});              // not 4 secondary 0
    fake.push("ibln", {.ibsta = kCic, .value = 1});  // 4 secondary 1
    const int pads[] = {3, 4, 6};
    std::vector<BusAddress> found;
    EXPECT_EQ(b->findListeners(pads, 1, found), kDone);
    EXPECT_EQ(found, (std::vector<BusAddress>{{3, -1}, {4, 1}}));
    EXPECT_EQ(fake.calls(), (Lines{"ibln(0, 3, 0)", "ibln(0, 4, 0)", "ibln(0, 4, -1)",
                                   "ibln(0, 4, 96)", "ibln(0, 4, 97)"}));
}

TEST_F(PlatformBoardTest, WhatTheLibraryLacksFailsWithEcap) {
    // The bare library: ibfindA (so the NI family, which opens an index as
    // GPIBn), no ibask to ask with, status in globals only.
    platform::LibraryOptions o;
    o.library = FAKE_PLATFORM_BARE_LIBRARY;
    o.board = "0";
    auto b = platform::makeLibraryBoard(o);
    bare.push("ibfindA", {.result = 4});
    std::string reason;
    ASSERT_EQ(b->open(reason), kDone) << reason;
    EXPECT_EQ(bare.calls(),
              (Lines{"ibfindA(\"GPIB0\")", "ibconfig(4, 1, 0)", "ibconfig(4, 2, 0)"}));
    EXPECT_NE(b->describe().find("(NI family)"), std::string::npos) << b->describe();
    bare.reset();
    uint8_t v = 0;
    bool srq = false;
    int state = 0;
    EXPECT_EQ(b->serialPoll(kMeter, Timeout{13}, v), GPIB_ECAP);
    EXPECT_EQ(b->trigger(&kMeter), GPIB_ECAP);
    EXPECT_EQ(b->parallelPoll(Timeout{13}, v), GPIB_ECAP);
    EXPECT_EQ(b->srqLine(srq), GPIB_ECAP);
    EXPECT_EQ(b->lines(state), GPIB_ECAP);
    EXPECT_EQ(b->waitSrq(Timeout{1}, srq), GPIB_ECAP);
    EXPECT_EQ(b->interfaceClear(), GPIB_ECAP);
    char buf[8];
    long n = 0;
    EXPECT_EQ(b->receive(kMeter, buf, 8, '\n', Timeout{13}, n, state), GPIB_ECAP);  // no ibeos
    EXPECT_EQ(bare.calls(), Lines{"ibdev(0, 9, 0, 13, 1, 0)"});
    // What has another way goes that way: settings through ibconfig, go to
    // local through command bytes; the status comes from the globals.
    bare.reset();
    bare.push("ibwrt", {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .count = 1});
    EXPECT_EQ(b->remoteEnable(true), kDone);
    EXPECT_EQ(b->goToLocal({9, 2}), kDone);
    EXPECT_EQ(b->send(kMeter, "AB", 2, EndMode::None, Timeout{11}, n), GPIB_EABO);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(bare.calls(),
              (Lines{"ibconfig(4, 11, 1)", "ibconfig(4, 3, 13)", "ibcmd(4, \"?)b\\x01\")",
                     "ibconfig(16, 4, 0)", "ibconfig(16, 3, 11)", "ibwrt(16, \"AB\")"}));
}

TEST_F(PlatformBoardTest, RefusedLibrariesAndBoardsSayWhy) {
    struct Row {
        std::string library;
        std::vector<std::string> search;
        const char* reason;
    };
    const Row rows[] = {
        {"/nonexistent/libgpib.so.0", {}, "/nonexistent/libgpib.so.0 not found"},
        {SCRIPTED_NOT_A_LIBRARY, {}, SCRIPTED_NOT_A_LIBRARY " could not be loaded: "},
        {SIM_LIBRARY, {}, SIM_LIBRARY " is this program's own driver, not a platform GPIB"},
        {SCRIPTED_PARTIAL_LIBRARY, {}, "it lacks ibdev, ibwrt, ibrd"},
        {"", {"libtm-no-such-gpib.so.0"}, "libtm-no-such-gpib.so.0 not found"},
        // Named, ours is refused even where a platform library would follow.
        {SIM_LIBRARY, {FAKE_PLATFORM_LIBRARY}, "is this program's own driver"},
        // Our libgpib.so.0, which tm-gpib-run puts first on the search path.
        {OUR_LIBGPIB, {}, OUR_LIBGPIB " is this program's own driver, not a platform GPIB"},
    };
    for (const Row& row : rows) {
        platform::LibraryOptions o;
        o.library = row.library;
        o.searchNames = row.search;
        o.board = "0";
        auto b = platform::makeLibraryBoard(o);
        std::string reason;
        EXPECT_EQ(b->open(reason), GPIB_ENEB) << row.library;
        EXPECT_NE(b->describe().find(row.reason), std::string::npos) << b->describe();
        EXPECT_EQ(reason, b->describe());
        long sent = 0;
        EXPECT_EQ(b->send(kMeter, "X", 1, EndMode::None, Timeout{13}, sent), GPIB_ENEB);
    }
    // Unnamed, ours and what is missing are passed by for the next name.
    platform::LibraryOptions o;
    o.searchNames = {"/nonexistent/a.so", SIM_LIBRARY, OUR_LIBGPIB, FAKE_PLATFORM_LIBRARY};
    o.board = "0";
    std::string reason;
    EXPECT_EQ(platform::makeLibraryBoard(o)->open(reason), kDone) << reason;

    // A board the library does not know, or that does not answer.
    o.library = FAKE_PLATFORM_LIBRARY;
    o.board = "violet";
    fake.push("ibfind", {.result = -1, .ibsta = GPIB_ERR, .iberr = GPIB_EDVR, .count = 2});
    auto b = platform::makeLibraryBoard(o);
    EXPECT_EQ(b->open(reason), GPIB_ENEB);
    EXPECT_EQ(b->describe(), "platform board violet: ibfind(\"violet\") of " FAKE_PLATFORM_LIBRARY
                             " failed with EDVR (No such file or directory)");
    o.board = "1";
    fake.push("ibask", {.ibsta = GPIB_ERR, .iberr = GPIB_ENEB});
    b = platform::makeLibraryBoard(o);
    EXPECT_EQ(b->open(reason), GPIB_ENEB);
    EXPECT_EQ(b->describe(), "platform board 1: asking " FAKE_PLATFORM_LIBRARY
                             " for the board's own address failed with ENEB");
    EXPECT_EQ(b->interfaceClear(), GPIB_ENEB);
}

}  // namespace
