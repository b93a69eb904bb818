// A caller's exact time on a platform library that knows only timeout codes:
// the operation ends at that time (not at the code it rounds up to, nor at
// the one below it), what a slice moved is kept and the next goes on after
// it, and a library that times out at once, whatever the code, is not asked
// for ever.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "platform/library_board.h"
#include "support/fake_platform.h"

namespace {

using fakeplatform::Outcome;
using gpibdrv::Board;
using gpibdrv::EndMode;
using gpibdrv::kDone;
using gpibdrv::Timeout;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

constexpr gpibdrv::BusAddress kMeter{9, -1};
const Outcome kTimedOut{.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO};

class CodeSlicesTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fake.loaded());
        fake.reset();
        platform::LibraryOptions o;
        o.library = FAKE_PLATFORM_LIBRARY;
        o.board = "0";
        board = platform::makeLibraryBoard(o);
        std::string reason;
        ASSERT_EQ(board->open(reason), kDone) << reason;
        fake.reset();
    }
    // The calls of one name, and the timeout codes set before them, in order.
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

    fakeplatform::Control fake{FAKE_PLATFORM_LIBRARY};
    std::unique_ptr<Board> board;
};

TEST_F(CodeSlicesTest, AnExactTimeEndsEveryOperationOfASilentDeviceAtThatTime) {
    // 40 ms: T30ms and then shorter codes. Rounded up (T100ms) it would take
    // 100 ms, as one call of the code below it (T30ms) 30 ms.
    constexpr int64_t kUs = 40000;
    struct Row {
        const char* what;
        const char* call;
        Outcome silent;
        std::function<int(Board&)> op;
    };
    const Outcome waiting{.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .waits = true};
    const Row rows[] = {
        {"read", "ibrd", waiting,
         [](Board& b) {
             char buf[8];
             long got = 0;
             int ended = 0;
             return b.receive(kMeter, buf, 8, -1, Timeout::ofUs(kUs), got, ended);
         }},
        {"write",
         "ibwrt",
         {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .count = 0, .waits = true},
         [](Board& b) {
             long sent = 0;
             return b.send(kMeter, "X", 1, EndMode::EoiOnLast, Timeout::ofUs(kUs), sent);
         }},
        {"serial poll", "ibrsp", waiting,
         [](Board& b) {
             uint8_t stb = 0;
             return b.serialPoll(kMeter, Timeout::ofUs(kUs), stb);
         }},
        {"SRQ wait",
         "ibwait",
         {.ibsta = GPIB_CMPL | GPIB_TIMO, .waits = true},
         [](Board& b) {
             bool srq = true;
             int r = b.waitSrq(Timeout::ofUs(kUs), srq);
             EXPECT_FALSE(srq);
             return r == kDone ? GPIB_EABO : r;  // a wait that ran out is no error
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fake.reset();
        fake.setDefault(row.call, row.silent);
        const auto start = Clock::now();
        EXPECT_EQ(row.op(*board), GPIB_EABO);
        const auto took =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
        EXPECT_GE(took.count(), kUs);
        EXPECT_LT(took.count(), kUs + 15000);
        const std::vector<int> set = codes();
        ASSERT_FALSE(set.empty());
        EXPECT_EQ(set.front(), 8);  // T30ms
        EXPECT_TRUE(std::is_sorted(set.rbegin(), set.rend())) << testing::PrintToString(set);
        EXPECT_GE(callsOf(row.call).size(), 2u);
    }
}

TEST_F(CodeSlicesTest, EachSliceGoesOnWhereTheOneBeforeStopped) {
    // A device that sends a little per slice: the bytes join up, END is the
    // last call's.
    fake.push("ibrd", {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .data = "AB"});
    fake.push("ibrd", {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .data = "CD"});
    fake.push("ibrd", {.ibsta = GPIB_CMPL | GPIB_END, .data = "EF"});
    char buf[10];
    long got = 0;
    int ended = 0;
    ASSERT_EQ(board->receive(kMeter, buf, 10, -1, Timeout::ofUs(40000), got, ended), kDone);
    EXPECT_EQ(std::string(buf, size_t(got)), "ABCDEF");
    EXPECT_EQ(ended, gpibdrv::kEndEoi);
    EXPECT_EQ(callsOf("ibrd"), (Lines{"ibrd(16, 10)", "ibrd(16, 8)", "ibrd(16, 6)"}));

    // A write that timed out goes on with the bytes not taken; EOI is set
    // for the calls, and only the one that reaches the last byte sends it.
    fake.reset();
    fake.push("ibwrt", {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .count = 2});
    long sent = 0;
    EXPECT_EQ(board->send(kMeter, "ABCDEF", 6, EndMode::EoiOnLast, Timeout::ofUs(40000), sent),
              kDone);
    EXPECT_EQ(sent, 6);
    EXPECT_EQ(callsOf("ibwrt"), (Lines{"ibwrt(16, \"ABCDEF\")", "ibwrt(16, \"CDEF\")"}));

    // Command bytes the same way.
    fake.reset();
    fake.push("ibcmd", {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .count = 1});
    const uint8_t bytes[] = {gpibdrv::cmd::UNL, gpibdrv::cmd::LAD(9)};
    EXPECT_EQ(board->command(bytes, Timeout::ofUs(40000), sent), kDone);
    EXPECT_EQ(sent, 2);
    EXPECT_EQ(callsOf("ibcmd"), (Lines{"ibcmd(0, \"?)\")", "ibcmd(0, \")\")"}));
}

TEST_F(CodeSlicesTest, CodesOfTheDriverAndTimesUnderTheShortestCodeAreOneCall) {
    struct Row {
        Timeout t;
        int code;
    } rows[] = {{Timeout{5}, 5}, {Timeout{0}, 17}, {Timeout::ofUs(0), 1}, {Timeout::ofUs(4), 1}};
    for (const Row& row : rows) {
        fake.reset();
        fake.setDefault(
            "ibrd", {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .waits = row.code != 17});
        char buf[4];
        long got = 0;
        int ended = 0;
        EXPECT_EQ(board->receive(kMeter, buf, 4, -1, row.t, got, ended), GPIB_EABO);
        EXPECT_EQ(codes(), std::vector<int>{row.code}) << row.t.code << " " << row.t.exactUs;
        EXPECT_EQ(callsOf("ibrd").size(), 1u);
        board = nullptr;  // a fresh descriptor, so that each row sets its code
        SetUp();
    }
}

TEST_F(CodeSlicesTest, ALibraryThatTimesOutAtOnceIsNotAskedUntilTheDeadline) {
    fake.setDefault("ibrd", kTimedOut);
    char buf[4];
    long got = 0;
    int ended = 0;
    const auto start = Clock::now();
    EXPECT_EQ(board->receive(kMeter, buf, 4, -1, Timeout::ofUs(2000000), got, ended), GPIB_EABO);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_LE(callsOf("ibrd").size(), 48u);
}

}  // namespace
