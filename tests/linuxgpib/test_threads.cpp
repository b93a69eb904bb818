// libgpib.so.0 from several threads, in real bus time: a call waiting out
// its timeout on one board holds up no call on another, a wait for SRQ lets
// another thread use the same board, and each thread keeps its own status.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "gpib/ib.h"

extern "C" int GpibSimReload(const char* benchPathOrNull);

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start) {
    return long(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class Threads : public testing::Test {
  protected:
    void SetUp() override {
        // Real time: the timeouts below must really take their time.
        unsetenv("GPIB_SIM_INSTANT");
        ASSERT_EQ(GpibSimReload(""), 0);
    }
    void TearDown() override { setenv("GPIB_SIM_INSTANT", "1", 1); }
};

TEST_F(Threads, ATimeoutOnOneBoardHoldsUpNoCallOnAnother) {
    // GPIB0's multimeter has nothing to say: the read waits its second out.
    std::atomic<bool> waiting{true};
    int stuckStatus = 0, stuckError = 0;
    long stuckMs = 0;
    std::thread stuck([&] {
        int dmm = ibdev(0, 9, NO_SAD, T1s, 1, 0);
        char buf[16];
        auto start = Clock::now();
        ibrd(dmm, buf, sizeof buf);
        stuckMs = msSince(start);
        stuckStatus = ThreadIbsta(), stuckError = ThreadIberr();
        waiting = false;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    // Meanwhile GPIB1's multimeter answers twenty queries.
    int dmm3 = ibdev(1, 3, NO_SAD, T1s, 1, 0);
    auto start = Clock::now();
    int answered = 0;
    for (int i = 0; i < 20; ++i) {
        char buf[64];
        ibwrt(dmm3, "*IDN?\n", 6);
        ibrd(dmm3, buf, sizeof buf);
        answered += !(ThreadIbsta() & ERR) && ThreadIbcntl() == 31;
    }
    const long otherMs = msSince(start);
    const bool stillWaiting = waiting;
    stuck.join();

    EXPECT_EQ(answered, 20);
    EXPECT_LT(otherMs, 500) << "the queries on GPIB1 waited for GPIB0";
    EXPECT_TRUE(stillWaiting) << "the read on GPIB0 ended before the queries were done";
    EXPECT_GE(stuckMs, 900);
    EXPECT_EQ(stuckStatus & (ERR | TIMO), ERR | TIMO);
    EXPECT_EQ(stuckError, EABO);
    // This thread's own status is its last query's, not the timeout's.
    EXPECT_EQ(ThreadIbsta() & (ERR | TIMO), 0);
    EXPECT_EQ(ThreadIbcntl(), 31);
}

TEST_F(Threads, AWaitForSrqLetsAnotherThreadUseTheBoard) {
    ibtmo(0, T3s);
    int waitStatus = 0;
    short srq = 0;
    long waitMs = 0;
    std::thread waiter([&] {
        auto start = Clock::now();
        WaitSRQ(0, &srq);
        waitMs = msSince(start);
        waitStatus = ThreadIbsta();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    // The counter at 12 asks for service when triggered, on the same board.
    int counter = ibdev(0, 12, NO_SAD, T1s, 1, 0);
    ibtrg(counter);
    EXPECT_EQ(ThreadIbsta() & ERR, 0);
    waiter.join();
    EXPECT_EQ(srq, 1);
    EXPECT_EQ(waitStatus & (ERR | TIMO), 0);
    EXPECT_LT(waitMs, 1500) << "the wait held the board until its timeout";
}

TEST_F(Threads, ManyThreadsOnTwoBoardsEachKeepTheirOwnStatus) {
    // Four threads, two per board, each with its own device descriptor:
    // every answer is whole and every thread's count is its own read's.
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            int ud = t % 2 ? ibdev(1, 3, NO_SAD, T3s, 1, 0) : ibdev(0, 9, NO_SAD, T3s, 1, 0);
            for (int i = 0; i < 25; ++i) {
                char buf[64] = {};
                ibwrt(ud, "*IDN?\n", 6);
                ibrd(ud, buf, sizeof buf);
                const char* expected = t % 2 ? "SIMULATED BENCH,DMM-3" : "SIMULATED BENCH,DMM-9";
                good += !(ThreadIbsta() & ERR) && ThreadIbcntl() == 31 &&
                        std::string(buf).rfind(expected, 0) == 0;
            }
            ibonl(ud, 0);
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(good, 100);
}

}  // namespace
