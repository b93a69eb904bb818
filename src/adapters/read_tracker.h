#pragma once
// One adapter read ("++read eoi") as its bytes arrive: where the instrument's
// message ends and whether it ended with EOI.
//
// The protocol gives the host no in-band EOI flag. With ++eot_enable 1 the
// adapter appends ++eot_char after a byte that carried EOI and then ends the
// read, but that byte value can just as well be data; without it the host
// cannot tell EOI from the adapter's timeout between two bytes. We resolve it
// this way:
//   - the mark byte at the end of what has arrived, followed by a short quiet
//     time with nothing more, is the EOI mark (it arrives together with the
//     last byte, since the adapter writes it at once);
//   - the mark byte as the first byte of a read is data (EOI rides a byte);
//   - a mark byte followed by more bytes was data, and so was a mark taken for
//     EOI when more bytes of that read arrive before the next command: they
//     go on into the same address's buffer, the mark byte before them;
//   - a read without EOI is over when nothing arrived for the adapter's own
//     read timeout (++read_tmo_ms) plus a margin.
// What stays ambiguous: an instrument that pauses longer than the quiet time
// right after sending the mark byte as data gets END one message early (its
// bytes are not lost), and a message without EOI whose last byte is the mark
// value gets END and loses that byte.

#include <cstdint>
#include <string>

#include "driver/board.h"

namespace adapters {

// What arrived from one address and was not read yet.
class PendingInput {
  public:
    bool empty() const { return m_head == m_bytes.size(); }
    size_t size() const { return m_bytes.size() - m_head; }
    char front() const { return m_bytes[m_head]; }
    void pop();
    void push(char c);
    void clear();
    // The last byte that arrived carried EOI (it may have been read already).
    bool eoi = false;

  private:
    std::string m_bytes;
    size_t m_head = 0;
};

class ReadTracker {
  public:
    struct Timing {
        int mark = 0xEA;
        int64_t quietUs = 5000;
        int64_t endSilenceUs = 150000;  // ++read_tmo_ms plus a margin
    };
    explicit ReadTracker(Timing timing) : m_timing(timing) {}

    // The ++read line went out at nowUs.
    void start(gpibdrv::BusAddress from, int64_t nowUs);
    bool running() const { return m_running; }
    // Bytes arriving now could belong to this address's read: it is running,
    // or it ended at a mark and no command was written since.
    bool owns() const { return m_running || m_endedAtMark; }
    gpibdrv::BusAddress address() const { return m_from; }
    // A command was written: nothing that arrives now belongs to the read.
    void commandWritten() { m_endedAtMark = false; }
    void reset();

    // Bytes that arrived at nowUs; the data goes to out.
    void feed(const char* bytes, size_t n, int64_t nowUs, PendingInput& out);
    // Nothing arrived until nowUs: ends the read when its time is up.
    void expire(int64_t nowUs, PendingInput& out);
    // When expire() may end the read next (only while running).
    int64_t decisionUs() const;

  private:
    Timing m_timing;
    gpibdrv::BusAddress m_from;
    bool m_running = false;
    bool m_endedAtMark = false;
    bool m_markHeld = false;  // a mark-valued byte waits to be judged
    long m_data = 0;          // data bytes of this read so far
    int64_t m_lastUs = 0;     // the last byte, or the start
};

}  // namespace adapters
