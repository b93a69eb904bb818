// A caller's exact time on a platform library that knows only timeout codes:
// the operation ends at that time (not at the code it rounds up to, nor at
// the one below it), what a slice moved is kept and the next goes on after
// it, and a library that times out at once is not asked for ever.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "platform/library_board.h"
#include "support/fake_platform.h"

namespace {

using fakeplatform::Outcome;
using gpibdrv::Board;
using gpibdrv::kDone;
using gpibdrv::Timeout;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

constexpr gpibdrv::BusAddress kMeter{9, -1};
const Outcome kTimedOut{.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO};

struct CodeSlicesTest : testing::Test {
    void SetUp() override {
        ASSERT_TRUE(fake.loaded());
        platform::LibraryOptions o;
        o.library = FAKE_PLATFORM_LIBRARY;
        o.board = "0";
        board = platform::makeLibraryBoard(o);
        std::string reason;
        ASSERT_EQ(board->open(reason), kDone) << reason;
        fake.reset();
    }
    // The calls of one name; the timeout codes set, in order.
    Lines callsOf(const std::string& name) {
        Lines found;
        for (const std::string& c : fake.calls())
            if (c.rfind(name + "(", 0) == 0)
                found.push_back(c);
        return found;
    }
    std::vector<int> codes() {
        std::vector<int> found;
        for (const std::string& c : callsOf("ibtmo"))
            found.push_back(std::stoi(c.substr(c.rfind(' '))));
        return found;
    }
    int read(Timeout t, std::string* data = nullptr) {
        char buf[10];
        long got = 0;
        int ended = 0;
        int err = board->receive(kMeter, buf, 10, -1, t, got, ended);
        if (data)
            *data = std::string(buf, size_t(got)) + (ended == gpibdrv::kEndEoi ? " END" : "");
        return err;
    }

    fakeplatform::Control fake{FAKE_PLATFORM_LIBRARY};
    std::unique_ptr<Board> board;
};

TEST_F(CodeSlicesTest, AnExactTimeEndsEveryOperationOfASilentDeviceAtThatTime) {
    // 40 ms: T30ms, then shorter codes. Rounded up (T100ms) it would take
    // 100 ms, as one call of the code below it 30 ms.
    constexpr int64_t kUs = 40000;
    struct Row {
        const char* call;
        int ibsta;  // of the call that ran into its timeout
        std::function<int(Board&)> op;
    } rows[] = {
        {"ibrd", GPIB_ERR | GPIB_TIMO, [this](Board&) { return read(Timeout::ofUs(kUs)); }},
        {"ibwrt", GPIB_ERR | GPIB_TIMO,
         [](Board& b) {
             long n = 0;
             return b.send(kMeter, "X", 1, gpibdrv::EndMode::EoiOnLast, Timeout::ofUs(kUs), n);
         }},
        {"ibrsp", GPIB_ERR | GPIB_TIMO,
         [](Board& b) {
             uint8_t stb = 0;
             return b.serialPoll(kMeter, Timeout::ofUs(kUs), stb);
         }},
        // A wait that ran out is no error: TIMO alone, the line not asserted.
        {"ibwait", GPIB_TIMO,
         [](Board& b) {
             bool srq = true;
             return b.waitSrq(Timeout::ofUs(kUs), srq) == kDone && !srq ? GPIB_EABO : -2;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.call);
        fake.reset();
        fake.setDefault(row.call,
                        {.ibsta = row.ibsta, .iberr = GPIB_EABO, .count = 0, .waits = true});
        const auto start = Clock::now();
        EXPECT_EQ(row.op(*board), GPIB_EABO);
        const auto took =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
        EXPECT_GE(took.count(), kUs);
        EXPECT_LT(took.count(), kUs + 15000);
        const std::vector<int> set = codes();
        ASSERT_FALSE(set.empty());
        EXPECT_EQ(set.front(), 8);  // T30ms, then never longer
        EXPECT_TRUE(std::is_sorted(set.rbegin(), set.rend())) << testing::PrintToString(set);
        EXPECT_GE(callsOf(row.call).size(), 2u);
    }
}

TEST_F(CodeSlicesTest, EachSliceGoesOnWhereTheOneBeforeStopped) {
    // A device that sends a little per slice: the bytes join up, END is the
    // last call's.
    for (const char* part : {"AB", "CD"})
        fake.push("ibrd", {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .data = part});
    fake.push("ibrd", {.ibsta = GPIB_CMPL | GPIB_END, .data = "EF"});
    std::string data;
    EXPECT_EQ(read(Timeout::ofUs(40000), &data), kDone);
    EXPECT_EQ(data, "ABCDEF END");
    EXPECT_EQ(callsOf("ibrd"), (Lines{"ibrd(16, 10)", "ibrd(16, 8)", "ibrd(16, 6)"}));
    // A write goes on with the bytes not taken: EOI is set for its calls,
    // and only the call that reaches the last byte sends it.
    fake.reset();
    fake.push("ibwrt", {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .count = 2});
    long sent = 0;
    EXPECT_EQ(
        board->send(kMeter, "ABCDEF", 6, gpibdrv::EndMode::EoiOnLast, Timeout::ofUs(40000), sent),
        kDone);
    EXPECT_EQ(sent, 6);
    EXPECT_EQ(callsOf("ibwrt"), (Lines{"ibwrt(16, \"ABCDEF\")", "ibwrt(16, \"CDEF\")"}));
    // Command bytes the same way.
    fake.reset();
    fake.push("ibcmd", {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .count = 1});
    const uint8_t bytes[] = {gpibdrv::cmd::UNL, gpibdrv::cmd::LAD(9)};
    EXPECT_EQ(board->command(bytes, Timeout::ofUs(40000), sent), kDone);
    EXPECT_EQ(callsOf("ibcmd"), (Lines{"ibcmd(0, \"?)\")", "ibcmd(0, \")\")"}));
}

TEST_F(CodeSlicesTest, CodesAndTimesUnderTheShortestCodeAreOneCallAndNothingSpins) {
    struct Row {
        Timeout t;
        int code;
    } rows[] = {{Timeout{5}, 5}, {Timeout{0}, 17}, {Timeout::ofUs(0), 1}, {Timeout::ofUs(4), 1}};
    for (const Row& row : rows) {
        SetUp();  // a fresh descriptor, so that each row sets its code
        fake.setDefault("ibrd", kTimedOut);
        EXPECT_EQ(read(row.t), GPIB_EABO);
        EXPECT_EQ(codes(), std::vector<int>{row.code}) << row.t.code << " " << row.t.exactUs;
        EXPECT_EQ(callsOf("ibrd").size(), 1u);
    }
    // A library that times out at once, whatever the code: bounded in calls,
    // not asked again and again until the deadline.
    fake.reset();
    fake.setDefault("ibrd", kTimedOut);
    const auto start = Clock::now();
    EXPECT_EQ(read(Timeout::ofUs(2000000)), GPIB_EABO);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_LE(callsOf("ibrd").size(), 48u);
}

}  // namespace
