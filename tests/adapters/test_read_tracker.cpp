// Where an adapter read ends and whether with EOI: the marker line ("++ver"'s
// answer, here "VER\r\n") ends it; the mark byte (0xEA) right before it is
// EOI when data came first and the two arrived together; anywhere else it is
// data.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "adapters/read_tracker.h"

namespace {

using adapters::PendingInput;
using adapters::ReadTracker;

// Bytes arriving at a time (ms).
struct Step {
    std::string bytes;
    int atMs;
};
struct Row {
    const char* what;
    std::vector<Step> steps;
    std::string data;  // what the read delivered
    bool eoi, running;
    std::string rest = "";  // bytes after the marker, for later commands
    bool markPossible = true;
};

const std::string M = "\xea", V = "VER\r\n";

std::string drain(PendingInput& in) {
    std::string s;
    for (; !in.empty(); in.pop()) s.push_back(in.front());
    return s;
}

TEST(ReadTrackerTest, TheMarkerLineEndsTheReadAndTellsTheEoiMarkFromData) {
    const Row rows[] = {
        {"mark, then the marker: EOI", {{"ab" + M + V, 1}}, "ab", true, false},
        {"the marker alone: no EOI", {{"ab" + V, 1}}, "ab", false, false},
        {"mark as the first byte is data", {{M + V, 1}}, M, false, false},
        {"a mark followed by more is data",
         {{"a" + M + "b" + M + V, 1}},
         "a" + M + "b",
         true,
         false},
        {"two marks: the first is data", {{"a" + M + M + V, 1}}, "a" + M, true, false},
        {"a mark-valued last byte long before the marker: the adapter timed out",
         {{"a" + M, 1}, {V, 200}},
         "a" + M,
         false,
         false},
        {"mark and marker in separate reads but together: EOI",
         {{"a" + M, 1}, {V, 2}},
         "a",
         true,
         false},
        {"the marker split over three reads",
         {{"ab", 1}, {M + "VE", 2}, {"R\r\n", 3}},
         "ab",
         true,
         false},
        {"a start of the marker inside the data is data",
         {{"aVEbVE" + M + "VEV", 1}, {"ER\r\n", 2}},
         "aVEbVE" + M + "VE",
         false,
         false},
        {"what follows the marker is left for later commands",
         {{"ab" + M + V + "234\r\n", 1}},
         "ab",
         true,
         false,
         "234\r\n"},
        {"where the adapter marks no EOI the byte before the marker is data",
         {{"a" + M + V, 1}},
         "a" + M,
         false,
         false,
         "",
         false},
        {"no marker yet: still running, the candidates held back",
         {{"ab" + M + "VE", 1}},
         "ab",
         false,
         true},
        {"a marker whose line end differs is data",
         {{"ab" + M + "VER\n", 1}},
         "ab" + M + "VER\n",
         false,
         true},
    };
    for (const Row& row : rows) {
        ReadTracker tracker({0xEA, 100000});
        tracker.setMarker(V);
        PendingInput in;
        tracker.start({9, -1}, row.markPossible);
        std::string rest;
        for (const Step& s : row.steps) {
            const size_t used = tracker.feed(s.bytes.data(), s.bytes.size(), s.atMs * 1000, in);
            rest += s.bytes.substr(used);
        }
        EXPECT_EQ(in.eoi, row.eoi) << row.what;
        EXPECT_EQ(drain(in), row.data) << row.what;
        EXPECT_EQ(tracker.running(), row.running) << row.what;
        EXPECT_EQ(rest, row.rest) << row.what;
    }
}

TEST(ReadTrackerTest, TellsHowTheReadEndedAndStartsAfreshForTheNext) {
    ReadTracker tracker({0xEA, 100000});
    tracker.setMarker(V);
    PendingInput in;
    tracker.start({7, -1}, true);
    const std::string first = "PLAIN\n" + V;
    EXPECT_EQ(tracker.feed(first.data(), first.size(), 1000, in), first.size());
    EXPECT_FALSE(tracker.outcome().eoi);
    EXPECT_EQ(tracker.outcome().bytes, 6);
    EXPECT_EQ(tracker.outcome().lastByte, '\n');
    // Nothing is taken while no read runs; a reset read takes nothing more.
    EXPECT_EQ(tracker.feed("x", 1, 2000, in), 0u);
    tracker.start({9, -1}, true);
    tracker.feed("ab", 2, 3000, in);
    tracker.reset();
    EXPECT_FALSE(tracker.running());
    EXPECT_EQ(tracker.feed("c", 1, 4000, in), 0u);
    EXPECT_EQ(drain(in), "PLAIN\nab");
}

// Any message, cut anywhere: every byte comes out once, in order, with EOI
// exactly as sent. The bytes are drawn from the mark and the marker's own
// letters, so that false starts of both come up all the time.
TEST(ReadTrackerTest, LosesDuplicatesAndMisattributesNoByteWhereverTheLineCutsIt) {
    std::mt19937 random(488);
    const std::string alphabet = M + "VER\r\nx";
    for (int run = 0; run < 20000; ++run) {
        std::string data;
        for (int n = int(random() % 12); n > 0; --n) data += alphabet[random() % alphabet.size()];
        const bool eoi = !data.empty() && random() % 2;
        const std::string read = data + (eoi ? M : "");
        if ((read + V).find(V) != read.size())
            continue;  // data holding the whole marker ends the read there
        // The read's bytes in pieces; the marker at once after an EOI mark,
        // or after the adapter's timeout (100 ms) when the read had none.
        const std::string stream = read + V + "234\r\n";
        ReadTracker tracker({0xEA, 100000});
        tracker.setMarker(V);
        PendingInput in;
        tracker.start({9, -1}, true);
        std::string rest;
        for (size_t at = 0; at < stream.size();) {
            size_t n = 1 + random() % 6;
            if (at < read.size())
                n = std::min(n, read.size() - at);
            const int64_t us = at < read.size() || eoi ? 1000 : 200000;
            n = std::min(n, stream.size() - at);
            const size_t used = tracker.feed(stream.data() + at, n, us, in);
            rest += stream.substr(at + used, n - used);
            at += n;
        }
        ASSERT_EQ(drain(in), data) << "run " << run;
        ASSERT_EQ(in.eoi, eoi) << "run " << run << ": " << data;
        ASSERT_EQ(rest, "234\r\n") << "run " << run;
    }
}

}  // namespace
