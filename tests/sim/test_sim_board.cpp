// The simulated board's command bytes, bus lines and SRQ wait: what a
// gateway's docmd and a program's ibcmd, iblines and ibwait see.

#include <gtest/gtest.h>

#include <vector>

#include "bench_harness.h"

namespace {

using namespace gpibdrv::cmd;
using gpibdrv::kDone;

struct SimBoardTest : testing::Test {
    void SetUp() override {
        ASSERT_TRUE(h.load(sim::loadBench("")));
        board = h.bench->board(0);
        ASSERT_NE(board, nullptr);
    }
    int command(std::vector<uint8_t> bytes) {
        long sent = -1;
        int err = board->command(bytes, gpibdrv::Timeout{11}, sent);
        EXPECT_EQ(sent, err == kDone ? long(bytes.size()) : 0);
        return err;
    }
    int lines() {
        int state = 0;
        EXPECT_EQ(board->lines(state), kDone);
        return state;
    }
    simtest::BenchHarness h;
    gpibdrv::Board* board = nullptr;
};

TEST_F(SimBoardTest, ListenersHoldNdacOnlyWhereAnInstrumentAnswersTheAddress) {
    struct Row {
        std::vector<uint8_t> bytes;
        bool ndac;
    } rows[] = {
        {{UNL, LAD(9)}, true},          {{UNL, LAD(20)}, false},
        {{UNL, LAD(5), SAD(1)}, true},   // the supply listens at 5, secondary 1
        {{UNL, LAD(5)}, false},          // ... and not at its primary alone
        {{UNL, LAD(9), UNL}, false},     // unlistened again
        {{UNL, LAD(20), LAD(12)}, true}  // any one listener is enough
    };
    for (const Row& r : rows) {
        ASSERT_EQ(command(r.bytes), kDone);
        int state = lines();
        EXPECT_EQ(state & 0xFF, 0xFF);  // the bench shows every line
        EXPECT_EQ((state & gpibdrv::kBusNdac) != 0, r.ndac) << int(r.bytes[1]);
        EXPECT_NE(state & gpibdrv::kBusAtn, 0);
    }
}

TEST_F(SimBoardTest, AddressedCommandsReachTheListenersOnly) {
    // SDC to 9 empties its output; the counter at 12, not addressed, keeps its own.
    ASSERT_EQ(h.send(simtest::word(9), "*IDN?\n").ibsta & GPIB_ERR, 0);
    ASSERT_EQ(command({UNL, LAD(9), SDC}), kDone);
    sim::CallStatus st;
    EXPECT_EQ(h.receive(simtest::word(9), st), "");
    EXPECT_NE(st.ibsta & GPIB_TIMO, 0);
    // GET to the counter makes it request service.
    bool srq = true;
    ASSERT_EQ(board->srqLine(srq), kDone);
    EXPECT_FALSE(srq);
    ASSERT_EQ(command({UNL, LAD(12), GET}), kDone);
    ASSERT_EQ(board->waitSrq(gpibdrv::Timeout{12}, srq), kDone);
    EXPECT_TRUE(srq);
    EXPECT_NE(lines() & gpibdrv::kBusSrq, 0);
}

TEST_F(SimBoardTest, WaitingForAnSrqThatNeverComesTakesTheTimeoutOnTheBenchClock) {
    bool srq = true;
    const int64_t start = h.bench->clock().nowUs();
    ASSERT_EQ(board->waitSrq(gpibdrv::Timeout{11}, srq), kDone);
    EXPECT_FALSE(srq);
    EXPECT_GE(h.bench->clock().nowUs() - start, 1'000'000);
    // A time of the caller's own is kept to, rounded to nothing.
    const int64_t again = h.bench->clock().nowUs();
    ASSERT_EQ(board->waitSrq(gpibdrv::Timeout::ofUs(2500), srq), kDone);
    EXPECT_GE(h.bench->clock().nowUs() - again, 2500);
    EXPECT_LT(h.bench->clock().nowUs() - again, 1'000'000);
}

}  // namespace
