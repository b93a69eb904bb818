// What a board does by default where its kind has nothing better: the
// listener search from single checks, bus messages from command bytes, and
// the SRQ wait from looking at the line.
#include "driver/board.h"

#include <algorithm>
#include <thread>

#include "net/monotonic.h"

namespace gpibdrv {

int Board::findListeners(std::span<const int> pads, size_t stopAfter,
                         std::vector<BusAddress>& found) {
    for (int pad : pads) {
        bool yes = false;
        if (int err = listens({pad, -1}, yes); err != kDone)
            return err;
        if (yes) {
            found.push_back({pad, -1});
        } else {
            // No listener at the primary address alone: the secondaries answer.
            for (int s = 0; s <= 30; ++s) {
                if (found.size() > stopAfter)
                    return kDone;
                if (int err = listens({pad, s}, yes); err != kDone)
                    return err;
                if (yes)
                    found.push_back({pad, s});
            }
        }
        if (found.size() > stopAfter)
            return kDone;
    }
    return kDone;
}

int Board::command(std::span<const uint8_t>, Timeout, long& sent) {
    sent = 0;
    return GPIB_ECAP;
}

int Board::goToLocal(BusAddress device) {
    uint8_t bytes[4] = {cmd::UNL, cmd::LAD(device.pad)};
    size_t n = 2;
    if (device.sad >= 0)
        bytes[n++] = cmd::SAD(device.sad);
    bytes[n++] = cmd::GTL;
    long sent = 0;
    return command(std::span<const uint8_t>(bytes, n), Timeout{}, sent);
}

int Board::lines(int& state) {
    bool srq = false;
    if (int err = srqLine(srq); err != kDone)
        return err;
    state = kValidSrq | (srq ? kBusSrq : 0);
    return kDone;
}

int Board::parallelPoll(Timeout, uint8_t& result) {
    result = 0;
    return GPIB_ECAP;
}

int Board::waitSrq(Timeout t, bool& asserted) {
    // "No timeout" waits as long as the longest timeout code: nothing waits
    // for good. The pause between two looks grows to 10 ms, so that a line
    // that is up already costs one look and a long wait costs little.
    const int64_t deadline = net::monotonicUs() + t.limitUs(timeoutUs(17));
    int64_t pauseUs = 200;
    for (;;) {
        if (int err = srqLine(asserted); err != kDone || asserted)
            return err;
        int64_t left = deadline - net::monotonicUs();
        if (left <= 0)
            return kDone;
        std::this_thread::sleep_for(std::chrono::microseconds(std::min(pauseUs, left)));
        pauseUs = std::min<int64_t>(pauseUs * 2, 10000);
    }
}

int Board::localLockout(const BusAddress* device) {
    uint8_t bytes[4] = {cmd::LLO};
    size_t n = 1;
    if (device) {
        n = 0;
        bytes[n++] = cmd::UNL;
        bytes[n++] = cmd::LAD(device->pad);
        if (device->sad >= 0)
            bytes[n++] = cmd::SAD(device->sad);
        bytes[n++] = cmd::LLO;
    }
    long sent = 0;
    return command(std::span<const uint8_t>(bytes, n), Timeout{}, sent);
}

int Board::setAtn(bool) {
    return GPIB_ECAP;
}

int64_t Board::clockUs() {
    return net::monotonicUs();
}

void Board::pauseUntilUs(int64_t us) {
    int64_t left = us - net::monotonicUs();
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(left));
}

}  // namespace gpibdrv
