#include "sim/sim_clock.h"

#include <thread>

namespace sim {

namespace {
int64_t steadyUs() {
    auto t = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(t).count();
}
}  // namespace

int64_t SimClock::nowUs() const {
    return steadyUs() + m_offsetUs.load();
}

void SimClock::waitUntil(int64_t us) {
    int64_t now = nowUs();
    if (us <= now)
        return;
    if (m_instant) {
        // Another thread may have moved the clock since nowUs() was read:
        // move it on to us at least, never back.
        int64_t offset = m_offsetUs.load();
        for (;;) {
            int64_t base = steadyUs();
            if (base + offset >= us || m_offsetUs.compare_exchange_weak(offset, us - base))
                return;
        }
    }
    // Sleep for the long part; spin the last stretch, which a sleep would
    // overshoot (a byte of bus time is a microsecond).
    while (us - now > 2000) {
        std::this_thread::sleep_for(std::chrono::microseconds(us - now - 1000));
        now = nowUs();
    }
    while (nowUs() < us) {
    }
}

}  // namespace sim
