// One bus, one operation at a time, in the order the callers came; a caller
// that gives up at its deadline leaves the queue to the ones behind it.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/bus_lock.h"
#include "net/monotonic.h"

namespace {

using gpibdrv::BusLock;

// Waits until the lock has this many callers queued behind its holder.
void settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

TEST(BusLockTest, CallersGetTheBusInTheOrderTheyCame) {
    BusLock bus;
    bus.lock();
    std::vector<int> order;
    std::mutex orderLock;
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i) {
        callers.emplace_back([&, i] {
            bus.lock();
            {
                std::lock_guard<std::mutex> hold(orderLock);
                order.push_back(i);
            }
            bus.unlock();
        });
        settle();  // each one queued before the next arrives
    }
    bus.unlock();
    for (auto& t : callers) t.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

TEST(BusLockTest, AWaiterGivesUpAtItsDeadlineAndTheNextOneStillGetsIn) {
    BusLock bus;
    bus.lock();
    std::atomic<bool> impatientGotIt{true}, patientGotIt{false};
    int64_t waitedUs = 0;
    std::thread impatient([&] {
        int64_t start = net::monotonicUs();
        impatientGotIt = bus.lockUntil(start + 50'000);
        waitedUs = net::monotonicUs() - start;
    });
    settle();
    std::thread patient([&] {
        patientGotIt = bus.lockUntil(net::monotonicUs() + 5'000'000);
        if (patientGotIt)
            bus.unlock();
    });
    impatient.join();
    EXPECT_FALSE(impatientGotIt);
    EXPECT_GE(waitedUs, 50'000);
    EXPECT_LT(waitedUs, 1'000'000);
    bus.unlock();
    patient.join();
    EXPECT_TRUE(patientGotIt);
    EXPECT_TRUE(bus.try_lock());  // nothing was left held
    bus.unlock();
}

TEST(BusLockTest, AWaiterWhoseCallerWentAwayLeavesAtOnceAndKeepsNoPlace) {
    BusLock bus;
    bus.lock();
    std::atomic<bool> cancelled{false}, gotIt{true};
    int64_t waitedUs = 0;
    std::thread waiter([&] {
        int64_t start = net::monotonicUs();
        gotIt = bus.lockUntil(start + 5'000'000, cancelled);
        waitedUs = net::monotonicUs() - start;
    });
    settle();
    cancelled = true;
    bus.wake();
    waiter.join();
    EXPECT_FALSE(gotIt);
    EXPECT_LT(waitedUs, 1'000'000);
    bus.unlock();
    EXPECT_TRUE(bus.try_lock());  // nobody is queued any more
    bus.unlock();
    // A flag raised already turns the caller away even from a free bus.
    EXPECT_FALSE(bus.lockUntil(net::monotonicUs() + 1000, cancelled));
    EXPECT_TRUE(bus.try_lock());
    bus.unlock();
}

}  // namespace
