// Find Listeners by outcome: what the driver reports, and what the window,
// the variables and the found list hold afterwards.
#include <optional>
#include <string>
#include <vector>

#include "bus/listener_search.h"
#include "window/scripted_window.h"

namespace {

using scripted::Outcome;

struct SearchCase {
    const char* name;
    int ibsta;
    int iberr;
    std::vector<int> words;
    long count;
    std::optional<Outcome> ibdev;  // ibdev outcome when one is expected
    std::string ibdevCall;
    std::u16string results;
    std::u16string error;  // empty: txtError hidden
    std::u16string txtAddr;
    int FoundFlg, founddev, FoundNum, DevAddr, Device, ud;
    std::vector<int> list;  // leading cells of FoundList
    int beeps;
};

void PrintTo(const SearchCase& c, std::ostream* os) {
    *os << c.name;
}

// Seeded before each press: a device found earlier, so "unchanged" shows.
constexpr int kOldUd = 5;
constexpr int kOldFound = 12;
constexpr int kOldNum = 7;

std::u16string zeros(int n) {
    std::u16string s;
    for (int i = 0; i < n; ++i) {
        s += u" 0 ";
    }
    return s;
}

Outcome openedIbdev() {
    Outcome o;
    o.result = 16;
    return o;
}

Outcome failedIbdev() {
    Outcome o;
    o.ibsta = kErr;
    o.iberr = 2;
    o.result = -1;
    return o;
}

const std::u16string kMultiple =
    u"\r\nMultiple devices found! Enter correct device address and press SET button.";
const std::u16string kCaution =
    u"\r\nCAUTION - Not all found devices listed - Check system and retry.";
const std::u16string kWait = u"FindLstn: Wait while looking for devices";

const SearchCase kCases[] = {
    {"None",
     kCmpl,
     0,
     {},
     0,
     std::nullopt,
     "",
     u"FindLstn: No devices found",
     u"",
     u" 0",
     0,
     0,
     kOldNum,
     0,
     0,
     kOldUd,
     {-1},
     1},
    {"One",
     kCmpl,
     0,
     {9},
     1,
     openedIbdev(),
     "ibdev(0, 9, 0, 12, 1, 10)",
     u"FindLstn: Found 1 device at address =  9 ",
     u"",
     u" 9",
     1,
     9,
     1,
     9,
     9,
     16,
     {9, -1},
     0},
    {"OneIbdevFails",
     kCmpl,
     0,
     {9},
     1,
     failedIbdev(),
     "ibdev(0, 9, 0, 12, 1, 10)",
     u"FindLstn: Found 1 device at address =  9 ",
     u"ibdev Error,  ibsta = &H8000 <  ERR  >, iberr =  2 ENOL <No Listener>, ibcnt =  0",
     u"12",
     1,
     9,
     1,
     kOldFound,
     kOldFound,
     -1,
     {9, -1},
     0},
    {"Several",
     kCmpl,
     0,
     {3, 25095},
     2,
     std::nullopt,
     "",
     u"FindLstn: Found 2 devices at addresses =  3  702 " + kMultiple,
     u"",
     u" 3",
     1,
     3,
     2,
     3,
     3,
     kOldUd,
     {3, 25095, -1},
     0},
    {"OneWithSecondary",
     kCmpl,
     0,
     {24837},
     1,
     openedIbdev(),
     "ibdev(0, 5, 97, 12, 1, 10)",
     u"FindLstn: Found 1 device at address =  501 ",
     u"",
     u" 501",
     1,
     501,
     1,
     24837,
     24837,
     16,
     {24837, -1},
     0},
    {"ExactlySecondaryWordIsNotDecoded",
     kCmpl,
     0,
     {24576, 25088},
     2,
     std::nullopt,
     "",
     u"FindLstn: Found 2 devices at addresses =  24576  2 " + kMultiple,
     u"",
     u" 24576",
     1,
     24576,
     2,
     24576,
     24576,
     kOldUd,
     {24576, 25088, -1},
     0},
    {"ErrorWithIberrZero",
     kErr,
     0,
     {},
     0,
     std::nullopt,
     "",
     kWait,
     u"FindLstn error,  ibsta = &H8000 <  ERR  >, iberr =  0 EDVR <Op System Error>, ibcnt =  0",
     u" 12",
     1,
     kOldFound,
     kOldNum,
     0,
     0,
     kOldUd,
     {kOldFound, -1},
     0},
    {"ErrorBitWithOtherIberrIsDecoded",
     kErr | kCmpl,
     6,
     {9},
     1,
     openedIbdev(),
     "ibdev(0, 9, 0, 12, 1, 10)",
     u"FindLstn: Found 1 device at address =  9 ",
     u"",
     u" 9",
     1,
     9,
     1,
     9,
     9,
     16,
     {9, -1},
     0},
    {"NegativeCount",
     kCmpl,
     0,
     {},
     -1,
     std::nullopt,
     "",
     u"FindLstn: Undetermined results - ibcnt = -1",
     u"",
     u" 0",
     0,
     0,
     kOldNum,
     0,
     0,
     kOldUd,
     {kOldFound, -1},
     1},
    {"SixtyFour",
     kCmpl,
     0,
     {1, 2, 3},
     64,
     std::nullopt,
     "",
     u"FindLstn: Found 64 devices at addresses =  1  2  3 " + zeros(61) + kCaution,
     u"Found  64 devices, check system and retry",
     u" 1",
     1,
     1,
     64,
     1,
     1,
     kOldUd,
     {1, 2, 3, 0},
     1},
    {"BeyondTheList",
     kCmpl,
     0,
     {1, 2, 3},
     70,
     std::nullopt,
     "",
     u"FindLstn: Found 70 devices at addresses =  1  2  3 " + zeros(61) + kCaution,
     u"Found  70 devices, check system and retry",
     u" 1",
     1,
     1,
     70,
     1,
     1,
     kOldUd,
     {1, 2, 3, 0},
     1},
};

class ListenerSearchTest : public ScriptedWindowTest,
                           public ::testing::WithParamInterface<SearchCase> {
  protected:
    ListenerSearchTest() {
        w().NL = u"\r\n";
        w().vtmo = 12;
        w().eos = 10;
        w().ud = kOldUd;
        w().FoundFlg = 1;
        w().founddev = kOldFound;
        w().FoundNum = kOldNum;
        w().Device = kOldFound;
        gpib().DevAddr = kOldFound;
        w().FoundList[0] = kOldFound;
        w().FoundList[1] = -1;
        w().txtAddr.setText(u"12");
        w().combCmd.setText(u"*idn?");
        w().txtError.setVisible(true);
    }
};

TEST_P(ListenerSearchTest, LeavesTheWindowAsTheOutcomeSays) {
    const SearchCase& c = GetParam();
    Outcome found = listeners(c.words, c.count);
    found.ibsta = c.ibsta;
    found.iberr = c.iberr;
    scripted::Push("FindLstn", found);
    if (c.ibdev) {
        scripted::Push("ibdev", *c.ibdev);
    }
    w().cmdFindLstn.press();

    std::vector<std::string> expected = {"FindLstn(0, 32)"};
    if (c.ibdev) {
        expected.push_back(c.ibdevCall);
    }
    EXPECT_EQ(calls(), expected);
    EXPECT_EQ(platform.repaints, std::vector<std::string>{"txtResults: " + ToUtf8(kWait)});
    EXPECT_EQ(w().txtResults.text(), c.results);
    EXPECT_EQ(w().txtError.visible(), !c.error.empty());
    if (!c.error.empty()) {
        EXPECT_EQ(w().txtError.text(), c.error);
    }
    EXPECT_EQ(w().txtAddr.text(), c.txtAddr);
    EXPECT_EQ(w().combCmd.text(), u"");
    EXPECT_EQ(w().FoundFlg, c.FoundFlg);
    EXPECT_EQ(w().founddev, c.founddev);
    EXPECT_EQ(w().FoundNum, c.FoundNum);
    EXPECT_EQ(gpib().DevAddr, c.DevAddr);
    EXPECT_EQ(w().Device, c.Device);
    EXPECT_EQ(w().ud, c.ud);
    for (size_t i = 0; i < c.list.size(); ++i) {
        EXPECT_EQ(w().FoundList[i], c.list[i]) << "cell " << i;
    }
    if (c.count >= 64) {
        EXPECT_EQ(w().FoundList[64], -1);
    }
    EXPECT_EQ(platform.beeps, c.beeps);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, ListenerSearchTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

class ProbeListTest : public ScriptedWindowTest {};

TEST_F(ProbeListTest, LeavesOutTheControllerAddress) {
    struct Case {
        int16_t ctlr;
        std::vector<int> probe;
    };
    std::vector<int> from1, without21;
    for (int a = 1; a <= 30; ++a) {
        from1.push_back(a);
    }
    for (int a = 0; a <= 30; ++a) {
        if (a != 21) {
            without21.push_back(a);
        }
    }
    from1.push_back(0xFFFF);
    without21.push_back(0xFFFF);
    for (const Case& c : {Case{0, from1}, Case{21, without21}}) {
        scripted::Reset();
        w().Ctlraddr = c.ctlr;
        cmdFindLstn_Click(w());
        ASSERT_EQ(scripted::Calls().size(), 1u);
        EXPECT_EQ(scripted::Calls()[0].words, c.probe) << "controller at " << c.ctlr;
    }
}

TEST_F(ProbeListTest, FoundListStaysTerminatedAfterAnErrorOverAFullList) {
    w().FoundList.fill(7);  // a driver that scribbled over every cell
    Outcome o = failing(0);
    scripted::Push("FindLstn", o);
    cmdFindLstn_Click(w());
    for (size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(w().FoundList[i], 7) << "cell " << i;
    }
    EXPECT_EQ(w().FoundList[64], -1);
}

TEST_F(ProbeListTest, NewSearchOverwritesOnlyWhatItFound) {
    w().NL = u"\r\n";
    scripted::Push("FindLstn", listeners({3, 4, 5}, 3));
    cmdFindLstn_Click(w());
    scripted::Push("FindLstn", listeners({9}, 1));
    cmdFindLstn_Click(w());
    EXPECT_EQ(w().FoundList[0], 9);
    EXPECT_EQ(w().FoundList[1], -1);
    EXPECT_EQ(w().FoundList[2], 5);
    EXPECT_EQ(w().FoundList[3], -1);
}

}  // namespace
