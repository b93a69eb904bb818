#pragma once
// The adapter reads under way on the line, oldest first: which of the bytes
// that arrive are each read's message, and whether its last byte came with
// EOI.
//
// The protocol gives the host no in-band EOI flag, and a read's end shows
// nowhere in the stream. We make it show: behind a "++read" goes a "++ver",
// and the adapter's version line (the marker) ends the read. The adapter
// appends ++eot_char (the mark) after a byte that came with EOI when
// ++eot_enable is 1 (AR488 0.53.04, GPIBbus::receiveData(): "if
// (eoiDetected) ... if (cfg.eot_en) dataStream.print(cfg.eot_ch)"), so
// what arrives of a read is
//     data [mark] marker
// and what comes after the marker belongs to later commands. The byte right
// before the marker is the mark when it has the mark's value and data came
// before it (EOI rides a byte, so a read cannot start with it); a mark-valued
// byte anywhere else is data.
//
// Two ways of asking for the marker (protocol_board.h says which adapter
// gets which):
//   - fast: "++ver" goes out right behind "++read", for an adapter that
//     takes its next line only once the read is over (AR488 0.53.04,
//     AR488.ino: loop() reads the host's line only between commands, and
//     receiveData() ends on EOI, the end byte, the timeout, ATN or IFC, never
//     on host input). The marker then follows the read's last byte, or its
//     mark, at once. The one thing left to time: a read that the adapter's
//     own timeout (++read_tmo_ms) ended on a data byte of the mark's value
//     has its marker that timeout after that byte. So the byte before the
//     marker is EOI unless we know the two arrived apart by the read's margin
//     (half the adapter's timeout as set for this read, plus the adapter's
//     slowest version answer): a look at the line that found the marker not
//     yet there, made after the byte had arrived, bounds the gap from below.
//     Nobody looking means "together". A read whose marker came without a
//     mark sooner than its timeout could have ended it was cut short by our
//     "++ver": the adapter ends reads on host input, and the fast way is
//     wrong for it (Outcome::cutShort).
//   - safe: "++read" goes out alone and the marker is asked only when the
//     read is over for us: the caller stopped taking bytes (the next command
//     then carries the "++ver"), or the last byte that arrived is a mark
//     candidate with nothing behind it. On an adapter that ends reads on host
//     input the "++ver" may cut the read; what the instrument had not sent
//     stays with it. No time decides anything here: a candidate with the
//     marker right behind it is EOI.
//
// What is left ambiguous:
//   - fast way: a read the adapter's timeout ended on a data byte 234 while
//     nobody looked at the line between that byte and the marker: it reads
//     as EOI and the byte is lost. Delays in the stream longer than the
//     margin make an EOI mark read as data: at a caller's timeout of a second
//     or more the margin is half a second or more, but a talker's reads until
//     it has shown EOI run with the adapter's timeout at half a second
//     (protocol_board_read.cpp), and their margin is a quarter of one.
//   - safe way: a data byte 234 after which the instrument pauses for longer
//     than our "++ver" takes to reach the adapter, and a data byte 234 that
//     happens to be the last the adapter took before such a "++ver" cut the
//     read: it reads as EOI and the byte is lost. An adapter that drops the
//     byte it took when host input ends a read (AR488's Contributed/artag,
//     readBreak()) loses it in either way; our "++ver" goes out during a read
//     only where the read looks over.
//   - both: data that contains the marker whole ends the read there (the
//     rest reads as garbage and the link resynchronises); a read to a byte
//     where the adapter appends no mark (AR488 with ++eoi 0) shows no EOI.

#include <cstdint>
#include <deque>
#include <optional>
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

// One read as it goes out.
struct ReadStart {
    gpibdrv::BusAddress from;
    bool markPossible = true;  // the adapter appends the mark in this read
    bool fast = false;         // "++ver" right behind "++read"
    int endByte = -1;          // a read to this byte (-1: to EOI)
    int callerEos = -1;        // the caller's termination byte (for the board)
    int64_t startUs = 0;       // just before its lines went out
    int64_t marginUs = 0;      // see above
};

class ReadTracker {
  public:
    struct Outcome {
        ReadStart read;
        bool eoi = false;
        long bytes = 0;
        int lastByte = -1;
        // Fast way: it ended without the mark or its end byte sooner than
        // the adapter's timeout could have ended it.
        bool cutShort = false;
    };
    explicit ReadTracker(int mark = 0xEA) : m_mark(char(mark)) {}

    // The marker (the adapter's version line with its own line end, as
    // often as "++ver" is asked behind a read).
    void setMarker(std::string marker);
    const std::string& marker() const { return m_marker; }

    void start(const ReadStart& read);
    bool running() const { return !m_reads.empty(); }
    size_t queued() const { return m_reads.size(); }
    bool runningFor(gpibdrv::BusAddress a) const;
    // The oldest read, which the bytes that arrive belong to.
    const ReadStart& current() const { return m_reads.front().start; }
    // The newest read has no marker asked yet (the safe way).
    bool open() const { return running() && !m_reads.back().asked; }
    // Its "++ver" is about to go out.
    void markerAsked() { m_reads.back().asked = true; }
    // The oldest read holds back a mark candidate with nothing behind it.
    bool candidateLast() const { return m_markHeld && m_matched == 0; }
    // Drops every read (their markers will not come, or the link was reset).
    void reset();

    // Bytes that arrived after afterUs (the line was empty then) and were
    // there by byUs; the oldest read's data goes to out. Answers how many
    // were that read's (its data and marker); the rest is the next read's,
    // or later commands'. A read that ended leaves its outcome.
    size_t feed(const char* bytes, size_t n, int64_t afterUs, int64_t byUs, PendingInput& out);
    // A look at the line found nothing at us.
    void quiet(int64_t us);
    // The outcome of the read the last feed() ended, once.
    std::optional<Outcome> ended();

  private:
    void take(char c, int64_t afterUs, int64_t byUs, PendingInput& out);
    void release(size_t count, PendingInput& out);
    void releaseOne(char c, int64_t afterUs, PendingInput& out);
    void finish(PendingInput& out);
    void clearHeld();
    void look(int64_t us);

    char m_mark;
    std::string m_marker;
    std::vector<size_t> m_fallback;  // the marker's prefix function
    struct Entry {
        ReadStart start;
        bool asked;  // its "++ver" went out
    };
    std::deque<Entry> m_reads;
    std::optional<Outcome> m_ended;

    // The oldest read, as its bytes come: held back, a mark candidate (when
    // m_markHeld) and then the longest start of the marker that ends what
    // arrived, with when each byte arrived (after, by).
    std::string m_held;
    std::vector<int64_t> m_heldAfter, m_heldBy;
    bool m_markHeld = false;
    size_t m_matched = 0;
    int64_t m_gapUs = 0;        // the candidate and the marker at least this far apart
    int64_t m_dataAfterUs = 0;  // its newest data byte arrived after this
    Outcome m_outcome;
};

}  // namespace adapters
