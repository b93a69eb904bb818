#include "platform/code_slices.h"

#include "net/monotonic.h"

namespace platform {

namespace {
// The longest code stands for "none": nothing waits for good.
constexpr int kLongestCode = 17;
// A slice may run over what is left by this part of it, so that a time that
// is a code's own (1 s, asked a few microseconds later) is one slice.
constexpr int64_t kOverrunShare = 64;
// Slices never needed more than about 3 per code; a library that times out
// at once, whatever the code, stops here rather than being asked until the
// deadline.
constexpr int kMostSlices = 48;
}  // namespace

CodeSlices::CodeSlices(gpibdrv::Timeout t) {
    if (t.exact())
        m_deadlineUs = net::monotonicUs() + t.exactUs;
    else
        m_code = t.code > 0 && t.code <= kLongestCode ? t.code : kLongestCode;
}

int CodeSlices::next() {
    const int call = m_calls++;
    if (m_deadlineUs < 0)
        return call == 0 ? m_code : 0;
    if (call >= kMostSlices)
        return 0;
    const int64_t left = m_deadlineUs - net::monotonicUs();
    const int code = left > 0 ? gpibdrv::timeoutCodeNotLonger(left + left / kOverrunShare) : 0;
    return code > 0 ? code : call == 0 ? 1 : 0;
}

}  // namespace platform
