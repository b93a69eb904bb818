// All Poll and Find RSQ on the scripted driver: the guards, the texts by
// count, the raw bus address words, and the poll timeout put back on every
// path that changed it.
#include <string>
#include <vector>

#include "window/scripted_window.h"

namespace {

using scripted::Outcome;
using Lines = std::vector<std::string>;

const std::u16string kGuard = u"No devices found. Use Findlstn or enter and set a device address";
const std::u16string kEmpty = u"Device list empty. Use Findlstn to create a device list";

// Board 1 open with the operator's 1 s timeout; the found list as a search
// would leave it.
class SerialPollTest : public ScriptedWindowTest {
  protected:
    void found(const std::vector<int16_t>& words) {
        gpib().BoardIndex = 1;
        w().bud = 1;
        w().vtmo = 11;
        w().FoundFlg = 1;
        w().FoundNum = static_cast<int>(words.size());
        for (size_t i = 0; i < words.size(); ++i) {
            w().FoundList[i] = words[i];
        }
        w().FoundList[words.size()] = -1;
        w().combCmd.setText(u"*idn?");
        w().txtResults.setText(u"previous");
        w().txtError.setText(u"stale");
        w().txtError.setVisible(true);
        forgetCalls();
    }

    // The address list the last call handed to the driver.
    static std::vector<int> listPassed() { return scripted::Calls().back().words; }

    static Outcome polled(std::vector<int> status) {
        Outcome o;
        o.words = std::move(status);
        return o;
    }
};

struct AllPollCase {
    const char* name;
    std::vector<int16_t> list;
    std::vector<int> status;
    const char16_t* results;
};

void PrintTo(const AllPollCase& c, std::ostream* os) {
    *os << c.name;
}

const AllPollCase kAllPolls[] = {
    {"One", {9}, {0}, u"All Serial Poll: Response = Inst 9, 0"},
    {"Two", {3, 25095}, {0, 64}, u"All Serial Poll: Responses = Inst 3, 0; Inst 25095, 64"},
    {"Three",
     {3, 5, 24837},
     {0, 16, 80},
     u"All Serial Poll: Responses = Inst 3, 0; Inst 5, 16; Inst 24837, 80"},
};

class AllPollTest : public SerialPollTest, public ::testing::WithParamInterface<AllPollCase> {};

TEST_P(AllPollTest, ListsEveryDeviceByItsBusAddressWord) {
    const AllPollCase& c = GetParam();
    found(c.list);
    scripted::Push("AllSpoll", polled(c.status));
    w().cmdAllPoll.press();

    EXPECT_EQ(calls(), (Lines{"ibtmo(1, 9)", "AllSpoll(1)", "ibtmo(1, 11)"}));
    std::vector<int> expectedList(c.list.begin(), c.list.end());
    expectedList.push_back(0xFFFF);
    EXPECT_EQ(scripted::Calls()[scripted::Calls().size() - 2].words, expectedList);
    EXPECT_EQ(w().txtResults.text(), c.results);
    EXPECT_EQ(w().combCmd.text(), u"");
    // All Poll leaves an earlier report showing.
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(platform.beeps, 0);
    EXPECT_EQ(platform.repaints, Lines{});
}

INSTANTIATE_TEST_SUITE_P(ByCount, AllPollTest, ::testing::ValuesIn(kAllPolls),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialPollTest, AllPollDriverErrorIsReportedAndTimeoutRestored) {
    found({3, 5});
    scripted::Push("AllSpoll", failing(6));
    w().cmdAllPoll.press();

    EXPECT_EQ(calls(), (Lines{"ibtmo(1, 9)", "AllSpoll(1)", "ibtmo(1, 11)"}));
    EXPECT_EQ(w().txtError.text(),
              u"AllSpoll error,  ibsta = &H8000 <  ERR  >, iberr =  6 EABO <Operation aborted>, "
              u"ibcnt =  0");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtResults.text(), u"All Serial Poll: Polling All devices");
}

TEST_F(SerialPollTest, AllPollWithoutCountBeeps) {
    found({9});
    w().FoundNum = 0;
    w().cmdAllPoll.press();
    EXPECT_EQ(calls(), (Lines{"ibtmo(1, 9)", "AllSpoll(1)", "ibtmo(1, 11)"}));
    EXPECT_EQ(w().txtResults.text(), u"All Serial Poll: No responses returned");
    EXPECT_EQ(platform.beeps, 1);
}

TEST_F(SerialPollTest, AllPollNeverListsPastTheEndMarker) {
    // A search that counted more than the list holds: only listed cells show.
    found({3, 5});
    w().FoundNum = 70;
    scripted::Push("AllSpoll", polled({1, 2}));
    w().cmdAllPoll.press();
    EXPECT_EQ(w().txtResults.text(), u"All Serial Poll: Responses = Inst 3, 1; Inst 5, 2");

    // A full list of 64 devices ends in the last cell.
    std::vector<int16_t> many;
    for (int i = 0; i < 64; ++i) {
        many.push_back(static_cast<int16_t>(1 + i % 30));
    }
    found(many);
    w().FoundNum = 1000;
    w().cmdAllPoll.press();
    const Text shown = w().txtResults.text();
    size_t separators = 0;
    for (size_t at = shown.find(u"; "); at != Text::npos; at = shown.find(u"; ", at + 1)) {
        ++separators;
    }
    EXPECT_EQ(separators, 63u);
}

// The guards come before any driver call, for both buttons.
struct GuardCase {
    const char* name;
    Button FormControls::*button;
    int FoundFlg;
    bool emptyList;
    const std::u16string* message;
    const char16_t* combCmd;  // All Poll empties the command box first
};

void PrintTo(const GuardCase& c, std::ostream* os) {
    *os << c.name;
}

const GuardCase kGuards[] = {
    {"AllPollNoDevice", &FormControls::cmdAllPoll, 0, false, &kGuard, u""},
    {"AllPollEmptyList", &FormControls::cmdAllPoll, 1, true, &kEmpty, u""},
    {"FindRQSNoDevice", &FormControls::cmdFindRQS, 0, false, &kGuard, u"*idn?"},
    {"FindRQSEmptyList", &FormControls::cmdFindRQS, 1, true, &kEmpty, u"*idn?"},
};

class PollGuardTest : public SerialPollTest, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(PollGuardTest, RefusesWithoutDriverCall) {
    const GuardCase& c = GetParam();
    found(c.emptyList ? std::vector<int16_t>{} : std::vector<int16_t>{9});
    w().FoundFlg = c.FoundFlg;
    (w().*c.button).press();
    EXPECT_EQ(calls(), Lines{});
    EXPECT_EQ(w().txtResults.text(), *c.message);
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(w().combCmd.text(), c.combCmd);
}

INSTANTIATE_TEST_SUITE_P(BothButtons, PollGuardTest, ::testing::ValuesIn(kGuards),
                         [](const auto& info) { return std::string(info.param.name); });

Outcome srq(int line) {
    Outcome o;
    o.value = line;
    return o;
}

Outcome requester(int index, int status) {
    Outcome o;
    o.ibcntl = index;
    o.value = status;
    return o;
}

TEST_F(SerialPollTest, FindRqsWithoutSrqLeavesTimeoutAlone) {
    found({9});
    scripted::Push("TestSRQ", srq(0));
    w().cmdFindRQS.press();
    EXPECT_EQ(calls(), Lines{"TestSRQ(1)"});
    EXPECT_EQ(w().txtResults.text(), u"FindRQS: SRQ not asserted - no devices polled");
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(w().combCmd.text(), u"*idn?");
    EXPECT_EQ(platform.beeps, 1);
}

TEST_F(SerialPollTest, FindRqsNamesTheRequesterByItsBusAddressWord) {
    found({9, 25095});
    scripted::Push("TestSRQ", srq(1));
    scripted::Push("FindRQS", requester(1, 80));
    w().cmdFindRQS.press();

    EXPECT_EQ(calls(), (Lines{"TestSRQ(1)", "ibtmo(1, 9)", "FindRQS(1)", "ibtmo(1, 11)"}));
    EXPECT_EQ(scripted::Calls()[scripted::Calls().size() - 2].words,
              (std::vector<int>{9, 25095, 0xFFFF}));
    EXPECT_EQ(w().txtResults.text(),
              u"FindRQS: Device found at address  25095 with SPoll response =  80");
    EXPECT_EQ(platform.repaints, Lines{"txtResults: FindRQS:Wait while polling devices"});
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(platform.beeps, 0);
}

TEST_F(SerialPollTest, FindRqsErrorEmptiesResultsAndRestoresTimeout) {
    found({9});
    scripted::Push("TestSRQ", srq(1));
    Outcome none = failing(20);
    none.ibcntl = 1;
    scripted::Push("FindRQS", none);
    w().cmdFindRQS.press();

    EXPECT_EQ(calls(), (Lines{"TestSRQ(1)", "ibtmo(1, 9)", "FindRQS(1)", "ibtmo(1, 11)"}));
    EXPECT_EQ(w().txtError.text(),
              u"FindRQS Error,  ibsta = &H8000 <  ERR  >, iberr =  20 ETAB <Table Overflow>, "
              u"ibcnt =  1");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtResults.text(), u"");
}

TEST_F(SerialPollTest, FindRqsIndexOutsideTheListIsAFailure) {
    for (int index : {1, 64, 200, -1}) {
        found({9});
        scripted::Push("TestSRQ", srq(1));
        scripted::Push("FindRQS", requester(index, 64));
        w().cmdFindRQS.press();
        EXPECT_EQ(calls().back(), "ibtmo(1, 11)") << index;
        EXPECT_EQ(w().txtError.text().substr(0, 15), u"FindRQS Error, ") << index;
        EXPECT_TRUE(w().txtError.visible()) << index;
        EXPECT_EQ(w().txtResults.text(), u"") << index;
    }
}

TEST_F(SerialPollTest, FindRqsWithoutCountPollsNothing) {
    found({9});
    w().FoundNum = 0;
    scripted::Push("TestSRQ", srq(1));
    w().cmdFindRQS.press();
    EXPECT_EQ(calls(), (Lines{"TestSRQ(1)", "ibtmo(1, 9)", "ibtmo(1, 11)"}));
    EXPECT_EQ(w().txtResults.text(), u"FindRQS:No found devices to be polled");
    EXPECT_EQ(platform.beeps, 0);
}

TEST_F(SerialPollTest, FindRqsFailedSrqTestIsReported) {
    found({9});
    scripted::Push("TestSRQ", failing(7));
    w().cmdFindRQS.press();
    EXPECT_EQ(calls(), Lines{"TestSRQ(1)"});
    EXPECT_EQ(w().txtError.text(),
              u"TestSRQ Error,  ibsta = &H8000 <  ERR  >, iberr =  7 ENEB <No GPIB board>, "
              u"ibcnt =  0");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtResults.text(), u"previous");
    EXPECT_EQ(platform.beeps, 0);
}

}  // namespace
