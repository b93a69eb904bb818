// The simulated board's command bytes, bus lines and SRQ wait: what a
// gateway's docmd and a program's ibcmd, iblines and ibwait see.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "bench_harness.h"
#include "net/monotonic.h"

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

// A server sharing the board ends a read that waits for its device, or the
// bus time of a long write, from another thread: the operation fails at
// once, and so does every wait until the interrupt is cleared.
TEST(SimBoardInterruptTest, WaitsEndAtOnceWhenInterruptedUntilCleared) {
    sim::LoadResult r = sim::loadBench("");
    ASSERT_TRUE(r.bench) << r.problem;
    auto bus = std::make_shared<sim::SimBus>(std::move(*r.bench), false);  // real bus time
    sim::SimBoard board(bus, bus->definition().boards.front());
    ASSERT_EQ(board.interfaceClear(), kDone);
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        board.interrupt();
    });
    char buffer[64];
    long got = 0;
    int ended = 0;
    int64_t start = net::monotonicUs();
    EXPECT_EQ(board.receive({9, -1}, buffer, 64, -1, gpibdrv::Timeout{12}, got, ended), GPIB_EABO);
    other.join();
    EXPECT_LT(net::monotonicUs() - start, 1'000'000);  // not the 3 s of T3s
    // Interrupted still: a long write ends at once, having sent next to nothing.
    const std::string lots(200'000, 'x');  // 0.2 s of bus time
    long sent = -1;
    start = net::monotonicUs();
    EXPECT_EQ(board.send({9, -1}, lots.data(), long(lots.size()), gpibdrv::EndMode::EoiOnLast,
                         gpibdrv::Timeout{12}, sent),
              GPIB_EABO);
    EXPECT_LT(sent, 20'000);
    EXPECT_LT(net::monotonicUs() - start, 100'000);
    board.clearInterrupt();
    // Cleared: a write gets the bus time its timeout leaves, and no more.
    start = net::monotonicUs();
    EXPECT_EQ(board.send({9, -1}, lots.data(), long(lots.size()), gpibdrv::EndMode::EoiOnLast,
                         gpibdrv::Timeout::ofUs(50'000), sent),
              GPIB_EABO);
    EXPECT_GE(net::monotonicUs() - start, 50'000);
    EXPECT_NEAR(double(sent), 50'000.0, 1000.0);
    start = net::monotonicUs();
    EXPECT_EQ(board.receive({9, -1}, buffer, 64, -1, gpibdrv::Timeout::ofUs(50'000), got, ended),
              GPIB_EABO);
    EXPECT_GE(net::monotonicUs() - start, 50'000);
}

}  // namespace
