#pragma once
// One adapter read as its bytes arrive: which of them are the instrument's
// message, and whether its last byte came with EOI.
//
// The protocol gives the host no in-band EOI flag, and a read's end shows
// nowhere in the stream. We make it show without waiting for a quiet time:
// every "++read" goes out with "++ver" right behind it. The adapter takes
// its next line only once the read is over (AR488 0.53.04, AR488.ino:
// loop() calls serialIn_h() only between commands, and serialIn_h() parses
// one line and leaves the rest; GPIBbus::receiveData() ends on EOI, the end
// byte, the timeout, ATN or IFC, never on input from the host), so the
// adapter's version line follows the read's last byte at once, and nothing
// of the read comes after it. Of a Prologix we assume the same order: its
// manual ends a read at EOI, the end byte or the read timeout and names no
// other end, and its serial poll has always had "++ver" right behind it.
// What arrives is therefore
//     data [mark] version-line
// where the mark is ++eot_char, which the adapter appends after a byte that
// came with EOI when ++eot_enable is 1 (receiveData(): "if (eoiDetected)
// ... if (cfg.eot_en) dataStream.print(cfg.eot_ch)"). So:
//   - the version line (with the adapter's own line end) ends the read; what
//     comes after it belongs to later commands;
//   - the byte before it is the EOI mark when it has the mark's value and
//     data came before it (EOI rides a byte, so a read cannot start with
//     it); any other mark-valued byte is data;
//   - the one ambiguity left is a read that ended at the adapter's timeout
//     on a data byte of the mark's value: then the version line comes
//     ++read_tmo_ms after that byte, while an EOI mark has it at once. When
//     we saw the two arrive apart (by half the adapter's timeout or more),
//     the byte is data; when they reached us together (nobody read the
//     line meanwhile), it is taken for EOI and that byte is lost.
// Data that contains the adapter's whole version line and its line end is
// taken for the end of the read (the rest then reads as garbage and the link
// resynchronises). Reads to a byte where the adapter appends no mark (AR488
// with ++eoi 0) report no EOI at all.

#include <cstdint>
#include <string>
#include <vector>

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
        int64_t readTmoUs = 100000;  // the adapter's ++read_tmo_ms
    };
    // How a read ended, for the driver to learn what kind of talker it was.
    struct Outcome {
        bool eoi = false;
        long bytes = 0;
        int lastByte = -1;
    };
    explicit ReadTracker(Timing timing) : m_timing(timing) {}

    // The marker line (the adapter's version line and its own line end).
    void setMarker(std::string line);
    // The ++read line went out for this address, "++ver" behind it;
    // markPossible is false where the adapter appends no EOI mark.
    void start(gpibdrv::BusAddress from, bool markPossible);
    bool running() const { return m_running; }
    gpibdrv::BusAddress address() const { return m_from; }
    // Drops the read (its marker will not come, or the link was reset).
    void reset();

    // Bytes that arrived at nowUs: the read's data goes to out. Answers how
    // many were the read's (its data and the marker line); the rest is for
    // later commands.
    size_t feed(const char* bytes, size_t n, int64_t nowUs, PendingInput& out);
    const Outcome& outcome() const { return m_outcome; }

  private:
    void take(char c, int64_t nowUs, PendingInput& out);
    void finish(PendingInput& out);
    void release(char c, PendingInput& out);

    Timing m_timing;
    std::string m_marker;
    std::vector<size_t> m_fallback;  // the marker's prefix function
    gpibdrv::BusAddress m_from;
    bool m_running = false;
    bool m_markPossible = true;
    // Held back: a mark candidate (when m_markHeld) and then the longest
    // start of the marker line that ends what arrived, with arrival times.
    std::string m_held;
    std::vector<int64_t> m_heldUs;
    bool m_markHeld = false;
    size_t m_matched = 0;
    Outcome m_outcome;
};

}  // namespace adapters
