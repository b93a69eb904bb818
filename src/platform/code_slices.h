#pragma once
// A platform library waits only whole timeout codes (10 us, 30 us, ...,
// 1000 s): given a caller's exact time, one call would end early or, rounded
// up, late (1.5 s as T3s: a network client has given up long before). So a
// platform board gives an operation with an exact time in slices: each call
// of the library gets the longest code that fits into what is left, and an
// operation the library ended by its timeout goes on where it stopped, with
// the next slice, until the time is up. Every call moves bytes the library
// counts (a read goes on into the rest of the buffer, END comes from the
// call that ended it) or repeats what changes nothing on the bus (a serial
// poll nobody answered, an SRQ wait). A code of the driver's own is one call
// with that code, as the library means it.
//
// What a platform library cannot do exactly, this way or any other its
// traditional calls allow:
// - Times under its shortest code: the last slice may run over the caller's
//   time by up to 1/64 of itself (no code fits the rest otherwise), and an
//   operation with less than 10 us left still gets one call of T10us.
// - Each slice costs the library's own addressing again (a device is
//   addressed anew by every call on its descriptor): a slow device streaming
//   a long answer is addressed once per slice, which 488.1 allows and no
//   device we know minds, but which a bus analyser shows.
// - A write that timed out goes on from the count the library reports. A
//   board that counts a byte still in its output buffer when the time ran
//   out as sent (or one it sent as not sent) would lose or repeat that byte
//   at the seam; the traditional calls give no other way to know. EOI stays
//   on the last byte only: a slice that timed out never reached its last
//   byte, and only the slice that sends the last byte ends with EOI.
// - Command bytes go on the same way, on the same count.

#include <cstdint>

#include "driver/board.h"

namespace platform {

class CodeSlices {
  public:
    // The time starts now.
    explicit CodeSlices(gpibdrv::Timeout t);

    // The timeout code for the next call of the library, or 0 when the
    // operation is over: the first call always gets one.
    int next();

  private:
    int64_t m_deadlineUs = -1;  // on the monotonic clock; -1: the code alone
    int m_code = 0;
    int m_calls = 0;
};

}  // namespace platform
