#pragma once
// The one clock every deadline is read on: monotonic microseconds since an
// arbitrary start, unmoved by changes of the wall clock.

#include <chrono>
#include <cstdint>

namespace net {

inline int64_t monotonicUs() {
    auto t = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(t).count();
}

}  // namespace net
