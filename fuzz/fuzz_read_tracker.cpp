// An adapter's stream as it may come: any bytes, cut anywhere, arriving at
// any times, with looks at an empty line between, while reads start, queue
// and have their markers asked in either way. Whatever it holds, each read
// that ends gives back exactly the bytes it took: its data in order, then
// the mark when it was EOI, then the marker, and the marker is never in its
// data; no read holds back more than the marker and a mark.

#include <cstdint>
#include <deque>
#include <string>

#include "adapters/read_tracker.h"
#include "fuzz_input.h"

namespace {

struct Read {
    adapters::PendingInput data;
    std::string took;  // every byte fed to it, in order
    std::string out;   // its data as it came out
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzInput in(bytes, size);
    // A marker of one to three short lines, as a short version line is
    // asked for more than once.
    const uint8_t shape = in.number<uint8_t>();
    std::string marker;
    for (int i = 0; i <= shape % 3; ++i) marker += (shape & 4) ? "VR\n" : "V\r\n";
    const char mark = '\xea';
    adapters::ReadTracker tracker(0xEA);
    tracker.setMarker(marker);
    std::deque<Read> reads;
    int64_t now = 0;
    while (!in.empty()) {
        const uint8_t op = in.number<uint8_t>();
        now += op >> 3;  // time moves on, by up to 31 ms
        switch (op & 7) {
            case 0:
                if (reads.size() < 4) {
                    adapters::ReadStart r;
                    r.from = {int(reads.size()), -1};
                    r.markPossible = op & 8;
                    r.fast = op & 16;
                    r.startUs = now * 1000;
                    r.marginUs = int64_t(op & 0xE0) * 1000;
                    tracker.start(r);
                    reads.emplace_back();
                }
                break;
            case 1:
                if (tracker.open())
                    tracker.markerAsked();
                break;
            case 2:
                tracker.quiet(now * 1000);
                break;
            default: {
                // A piece of the stream: bytes drawn mostly from the mark and
                // the marker, so that false starts of both come up often.
                std::string piece;
                for (int n = op >> 4; n > 0 && !in.empty(); --n) {
                    const uint8_t b = in.number<uint8_t>();
                    piece += b < 64 ? mark : b < 192 ? marker[b % marker.size()] : char(b);
                }
                size_t at = 0;
                while (at < piece.size() && tracker.running()) {
                    Read& r = reads.front();
                    const size_t used = tracker.feed(piece.data() + at, piece.size() - at,
                                                     now * 1000 - 1000, now * 1000, r.data);
                    FUZZ_CHECK(used > 0 && used <= piece.size() - at);
                    r.took.append(piece, at, used);
                    at += used;
                    for (; !r.data.empty(); r.data.pop()) r.out.push_back(r.data.front());
                    if (auto o = tracker.ended()) {
                        const std::string expected =
                            r.out + (o->eoi ? std::string(1, mark) : std::string()) + marker;
                        FUZZ_CHECK(r.took == expected);
                        FUZZ_CHECK(r.data.eoi == o->eoi);
                        FUZZ_CHECK(o->bytes == long(r.out.size()));
                        FUZZ_CHECK(r.out.find(marker) == std::string::npos);
                        reads.pop_front();
                    } else {
                        // Held back: at most the marker's start and a mark.
                        FUZZ_CHECK(r.took.size() - r.out.size() <= marker.size() + 1);
                    }
                }
                FUZZ_CHECK(at == piece.size() || !tracker.running());
                break;
            }
        }
    }
    return 0;
}
