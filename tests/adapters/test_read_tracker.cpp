// Where an adapter read ends and whether with EOI: the mark byte (0xEA) at
// the end of what arrived, then quiet, is EOI; anywhere else it is data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adapters/read_tracker.h"

namespace {

using adapters::PendingInput;
using adapters::ReadTracker;

// Steps: bytes arriving at a time (ms), or "" = nothing until then; "|" = a
// command is written.
struct Step {
    const char* bytes;
    int atMs;
};
struct Row {
    const char* what;
    std::vector<Step> steps;
    std::string data;
    bool eoi, running;
};

std::string drain(PendingInput& in) {
    std::string s;
    for (; !in.empty(); in.pop()) s.push_back(in.front());
    return s;
}

TEST(ReadTrackerTest, TellsTheEoiMarkFromData) {
    const Row rows[] = {
        {"mark, then quiet: EOI", {{"ab\xea", 1}, {"", 7}}, "ab", true, false},
        {"mark still in its quiet time", {{"ab\xea", 1}, {"", 3}}, "ab", false, true},
        {"mark as the first byte is data", {{"\xea", 1}, {"", 9}}, "\xea", false, true},
        {"mark followed by more is data",
         {{"a\xea", 1}, {"b", 2}, {"", 6}},
         "a\xea"
         "b",
         false,
         true},
        {"two marks: the first is data", {{"a\xea\xea", 1}, {"", 9}}, "a\xea", true, false},
        {"silence ends a read without EOI", {{"ab", 1}, {"", 152}}, "ab", false, false},
        {"more after a mark taken for EOI",
         {{"a\xea", 1}, {"", 9}, {"b", 20}},
         "a\xea"
         "b",
         false,
         true},
        {"a command was written since",
         {{"a\xea", 1}, {"", 9}, {"|", 10}, {"b", 20}},
         "a",
         true,
         false},
    };
    for (const Row& row : rows) {
        ReadTracker tracker({0xEA, 5000, 150000});
        PendingInput in;
        tracker.start({9, -1}, 0);
        for (const Step& s : row.steps) {
            const std::string bytes = s.bytes;
            if (bytes == "|")
                tracker.commandWritten();
            else if (bytes.empty())
                tracker.expire(s.atMs * 1000, in);
            else
                tracker.feed(bytes.data(), bytes.size(), s.atMs * 1000, in);
        }
        EXPECT_EQ(in.eoi, row.eoi) << row.what;
        EXPECT_EQ(drain(in), row.data) << row.what;
        EXPECT_EQ(tracker.running(), row.running) << row.what;
    }
}

}  // namespace
