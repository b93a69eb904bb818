// Editing a board map as text: every row gives a map as people write them
// (comments everywhere, CRLF, flow style, tabs) and the exact text the edit
// must make of it, or the reason it must refuse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boards/board_map_edit.h"

namespace {

using boards::addBoard;
using boards::EditOutcome;
using boards::NewBoard;
using boards::removeBoard;

struct Row {
    const char* name;
    std::string before;
    enum { Add, Replace, Remove } op;
    NewBoard board;       // add and replace; remove takes board.name
    std::string after;    // the whole edited text, or ...
    std::string refusal;  // ... a part of the reason it is refused
};

const NewBoard kGateway{"GPIB2", "vxi11", {{"host", "lab-pc"}, {"interface", "gpib1"}}};

const std::string kCommented = R"(# my lab's boards
boards:   # the driver's
  # the adapter under the bench
  GPIB0:
    kind: prologix   # bought 2019
    # its instruments use secondaries
    port: /dev/ttyUSB0
    secondaries: {5: [1]}

  # the simulated one, for trying things
  GPIB1: {kind: simulated}
# devices follow
devices:
  dmm: {board: GPIB0, pad: 9}
)";

std::vector<Row> rows() {
    return {
        {"an entry goes after the last board, every comment kept", kCommented, Row::Add, kGateway,
         R"(# my lab's boards
boards:   # the driver's
  # the adapter under the bench
  GPIB0:
    kind: prologix   # bought 2019
    # its instruments use secondaries
    port: /dev/ttyUSB0
    secondaries: {5: [1]}

  # the simulated one, for trying things
  GPIB1: {kind: simulated}
  GPIB2:
    kind: vxi11
    host: lab-pc
    interface: gpib1
# devices follow
devices:
  dmm: {board: GPIB0, pad: 9}
)",
         ""},
        {"a replaced entry keeps its place; the comments around it stay",
         kCommented,
         Row::Replace,
         {"GPIB0", "ar488", {{"port", "/dev/ttyACM0"}}},
         R"(# my lab's boards
boards:   # the driver's
  # the adapter under the bench
  GPIB0:
    kind: ar488
    port: /dev/ttyACM0

  # the simulated one, for trying things
  GPIB1: {kind: simulated}
# devices follow
devices:
  dmm: {board: GPIB0, pad: 9}
)",
         ""},
        {"a removed one-line entry takes only its line",
         kCommented,
         Row::Remove,
         {"GPIB1", "", {}},
         R"(# my lab's boards
boards:   # the driver's
  # the adapter under the bench
  GPIB0:
    kind: prologix   # bought 2019
    # its instruments use secondaries
    port: /dev/ttyUSB0
    secondaries: {5: [1]}

  # the simulated one, for trying things
# devices follow
devices:
  dmm: {board: GPIB0, pad: 9}
)",
         ""},
        {"a board a device names is not removed",
         kCommented,
         Row::Remove,
         {"GPIB0", "", {}},
         "",
         "the map would then be refused"},
        {"an existing board is not overwritten without --replace",
         kCommented,
         Row::Add,
         {"GPIB1", "simulated", {}},
         "",
         "GPIB1 is in the map already (line 11"},
        {"the only board is not removed",
         "boards:\n  GPIB3: {kind: simulated}\n",
         Row::Remove,
         {"GPIB3", "", {}},
         "",
         "the map's only board"},
        {"CRLF line ends stay CRLF, in the new lines too",
         "boards:\r\n  GPIB0:\r\n    kind: simulated\r\n",
         Row::Add,
         {"GPIB1", "simulated", {}},
         "boards:\r\n  GPIB0:\r\n    kind: simulated\r\n  GPIB1:\r\n    kind: simulated\r\n",
         ""},
        {"a last line without its line end gets one before the new entry",
         "boards:\n    GPIB0:\n        kind: simulated",
         Row::Add,
         {"GPIB4", "simulated", {}},
         "boards:\n    GPIB0:\n        kind: simulated\n    GPIB4:\n        kind: simulated\n",
         ""},
        {"tabs between a key and its value are the file's business",
         "boards:\n  GPIB0:\t# tab\n    kind:\tsimulated\n",
         Row::Add,
         {"GPIB1", "simulated", {}},
         "boards:\n  GPIB0:\t# tab\n    kind:\tsimulated\n  GPIB1:\n    kind: simulated\n",
         ""},
        {"a map of comments alone gets its boards: after them",
         "# mine\n\n# nothing yet",
         Row::Add,
         {"GPIB0", "simulated", {}},
         "# mine\n\n# nothing yet\nboards:\n  GPIB0:\n    kind: simulated\n",
         ""},
        {"an empty file gets a board map",
         "",
         Row::Add,
         {"GPIB0", "simulated", {}},
         "boards:\n  GPIB0:\n    kind: simulated\n",
         ""},
        {"flow style is refused, not rewritten",
         "boards: {GPIB0: {kind: simulated}}\n",
         Row::Add,
         {"GPIB1", "simulated", {}},
         "",
         "flow style"},
        {"flow style inside the block is refused too",
         "boards:\n  {GPIB0: {kind: simulated}, GPIB1: {kind: simulated}}\n",
         Row::Remove,
         {"GPIB0", "", {}},
         "",
         "flow style"},
        {"indentation by tabs is refused as the reader refuses it",
         "boards:\n\tGPIB0:\n\t\tkind: simulated\n",
         Row::Add,
         {"GPIB1", "simulated", {}},
         "",
         "is refused as it is (line 2"},
        {"a lone carriage return is refused",
         "boards:\r  GPIB0: {kind: simulated}\n",
         Row::Add,
         {"GPIB1", "simulated", {}},
         "",
         "carriage return"},
        {"a setting the kind does not take is the reader's refusal",
         "",
         Row::Add,
         {"GPIB0", "prologix", {{"prot", "/dev/ttyUSB0"}}},
         "",
         "a prologix board has no setting \"prot\""},
        {"an unknown kind names the kinds",
         "",
         Row::Add,
         {"GPIB0", "gpib", {}},
         "",
         "unknown kind \"gpib\" (prologix, ar488, simulated, vxi11, library)"},
        {"a name out of range is refused",
         "",
         Row::Add,
         {"GPIB16", "simulated", {}},
         "",
         "is not a board name"},
    };
}

TEST(BoardMapEdit, EditsTheTextAndNothingElseOrRefusesWithTheReason) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        EditOutcome e =
            row.op == Row::Remove
                ? removeBoard(row.before, "/lab/boards.yaml", row.board.name)
                : addBoard(row.before, "/lab/boards.yaml", row.board, row.op == Row::Replace);
        if (row.refusal.empty()) {
            ASSERT_TRUE(e.ok) << e.problem;
            EXPECT_EQ(e.text, row.after);
        } else {
            EXPECT_FALSE(e.ok) << e.text;
            EXPECT_NE(e.problem.find(row.refusal), std::string::npos) << e.problem;
        }
    }
}

TEST(BoardMapEdit, TheOldEntryIsReportedWhenReplacedOrRemoved) {
    EditOutcome e = removeBoard(kCommented, "m.yaml", "gpib0");
    ASSERT_FALSE(e.ok);  // the device still names it
    const std::string map =
        "boards:\n  GPIB0:\n    kind: simulated  # x\n  GPIB5:\n"
        "    kind: vxi11\n    # where\n    host: a\n";
    e = removeBoard(map, "m.yaml", "GPIB5");
    ASSERT_TRUE(e.ok) << e.problem;
    EXPECT_EQ(e.was, "GPIB5:; kind: vxi11; host: a");
    EXPECT_EQ(e.text, "boards:\n  GPIB0:\n    kind: simulated  # x\n");
}

TEST(BoardMapEdit, ValuesAreQuotedWhereYamlWouldReadThemOtherwise) {
    struct Value {
        const char* key;
        const char* typed;
        const char* written;  // "" when refused
    };
    const Value values[] = {
        {"port", "/dev/serial/by-id/usb-1a86_USB2.0-Serial-if00-port0",
         "/dev/serial/by-id/usb-1a86_USB2.0-Serial-if00-port0"},
        {"baud", "9600", "9600"},
        {"host", "lab pc # 2", "\"lab pc # 2\""},
        {"host", "a: b", "\"a: b\""},
        {"bench", "say \"hi\"", "say \"hi\""},
        {"bench", "\"quoted\" \\ end", "\"\\\"quoted\\\" \\\\ end\""},
        {"host", "~", "\"~\""},
        {"host", "", "\"\""},
        {"host", " padded", "\" padded\""},
        {"secondaries", "{5: [1], 7: [2]}", "{5: [1], 7: [2]}"},
        {"secondaries", "5", ""},
        {"port", "a\nb", ""},
    };
    for (const Value& v : values) {
        SCOPED_TRACE(std::string(v.key) + "=" + v.typed);
        std::string problem;
        EXPECT_EQ(boards::yamlValue(v.key, v.typed, problem), v.written);
        EXPECT_EQ(problem.empty(), *v.written != 0) << problem;
    }
    // What is quoted reads back as typed, through the map's own reader.
    NewBoard odd{"GPIB0", "vxi11", {}};
    std::string problem;
    odd.settings = {{"host", boards::yamlValue("host", "lab pc # 2", problem)}};
    EditOutcome e = addBoard("", "m.yaml", odd, false);
    ASSERT_TRUE(e.ok) << e.problem;
    EXPECT_NE(e.text.find("host: \"lab pc # 2\"\n"), std::string::npos) << e.text;
}

}  // namespace
