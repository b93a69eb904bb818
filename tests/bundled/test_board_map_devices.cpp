// The board map's devices: section: named devices with every setting, and a
// bad entry refused with its line and reason.

#include <gtest/gtest.h>

#include "bundled/board_map.h"

namespace {

using bundled::loadBoardMapText;

constexpr const char* kBoards = "boards:\n  GPIB0: {kind: simulated}\n  gpib1: {kind: simulated}\n";

TEST(BoardMapDevices, ReadsEachSettingAndItsDefaults) {
    auto r = loadBoardMapText(std::string(kBoards) + R"(devices:
  dmm: {board: GPIB0, pad: 9, sad: 2, timeout: T3s, eos: 0x0a, reos: true, eot: false}
  psu: {board: GPIB1, pad: 5, timeout: 11, eos: 0x140d}
  Scope: {board: gpib1, pad: 7}
)",
                              "m.yaml");
    ASSERT_TRUE(r.map) << r.problem;
    const auto& d = r.map->devices;
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].name, "dmm");
    EXPECT_EQ(d[0].board, 0);
    EXPECT_EQ(d[0].pad, 9);
    EXPECT_EQ(d[0].sad, 0x62);  // as ibdev takes it
    EXPECT_EQ(d[0].timeoutCode, 12);
    EXPECT_EQ(d[0].eos, 0x40A);
    EXPECT_FALSE(d[0].eot);
    EXPECT_EQ(d[0].line, 5);
    EXPECT_EQ(d[1].board, 1);  // a board named in another case
    EXPECT_EQ(d[1].timeoutCode, 11);
    EXPECT_EQ(d[1].eos, 0x140D);  // a whole EOS word
    EXPECT_EQ(d[2].sad, 0);
    EXPECT_EQ(d[2].timeoutCode, 13);
    EXPECT_EQ(d[2].eos, 0);
    EXPECT_TRUE(d[2].eot);
}

TEST(BoardMapDevices, RefusesABadEntryWithItsLineAndReason) {
    struct Row {
        const char* devices;
        const char* refusal;
    };
    const Row rows[] = {
        {"devices: [dmm]\n", "line 4: devices must be a mapping"},
        {"devices:\n  dmm: {pad: 9}\n", "line 5: the device dmm names no board:"},
        {"devices:\n  dmm: {board: GPIB2, pad: 9}\n",
         "line 5: the device dmm is on \"GPIB2\", which is no board of this map"},
        {"devices:\n  dmm: {board: GPIB0}\n",
         "line 5: the device dmm has no pad: (its primary address, 0 to 30)"},
        {"devices:\n  dmm: {board: GPIB0, pad: 31}\n", "line 5: pad must be from 0 to 30, not 31"},
        {"devices:\n  dmm: {board: GPIB0, pad: 9, sad: 96}\n",
         "line 5: sad must be from 0 to 30, not 96"},
        {"devices:\n  dmm: {board: GPIB0, pad: 9, timeout: T2s}\n",
         "line 5: timeout must be a timeout code (TNONE, T10us ... T1000s) or 0 to 17, not "
         "\"T2s\""},
        {"devices:\n  dmm: {board: GPIB0, pad: 9, eos: 0x2000}\n",
         "line 5: eos must be from 0 to 7423, not 8192"},
        {"devices:\n  dmm: {board: GPIB0, pad: 9, eos: 0x20a}\n",
         "line 5: eos must be a byte, or a byte with REOS 0x400"},
        {"devices:\n  dmm: {board: GPIB0, pad: 9, port: 3}\n",
         "line 5: a device has no setting \"port\""},
        {"devices:\n  GPIB1: {board: GPIB0, pad: 9}\n",
         "line 5: the device GPIB1 has the name of a board"},
        {"devices:\n  dmm: {board: GPIB0, pad: 9}\n  DMM: {board: GPIB0, pad: 3}\n",
         "line 6: the device DMM is listed twice (line 5)"},
    };
    for (const Row& row : rows) {
        auto r = loadBoardMapText(std::string(kBoards) + row.devices, "m.yaml");
        EXPECT_FALSE(r.map) << row.devices;
        EXPECT_NE(r.problem.find(std::string("board map m.yaml, ") + row.refusal),
                  std::string::npos)
            << r.problem;
    }
}

}  // namespace
