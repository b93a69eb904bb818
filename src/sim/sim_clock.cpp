#include "sim/sim_clock.h"

#include <thread>

namespace sim {

int64_t SimClock::nowUs() const {
    auto t = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(t).count() + m_offsetUs;
}

void SimClock::waitUntil(int64_t us) {
    int64_t now = nowUs();
    if (us <= now)
        return;
    if (m_instant) {
        m_offsetUs += us - now;
        return;
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
