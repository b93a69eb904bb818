// Controller selection and controller address on the scripted driver: the
// operator's way out of a failed start-up, every stop of the selection, and
// the controller address texts.
#include <string>
#include <vector>

#include "session/controller_selection.h"
#include "window/scripted_window.h"

namespace {

using scripted::Outcome;
using Lines = std::vector<std::string>;

const std::u16string kNotFound =
    u"Selected GPIB Controller not found\r\nSelect another Controller Name";
const std::u16string kImproper = u"Improper value for the Controller Address, please reenter";

Outcome board(int descriptor) {
    Outcome o;
    o.result = descriptor;
    return o;
}

Outcome absentBoard() {
    Outcome o;
    o.ibsta = kErr;
    o.iberr = 7;  // ENEB
    o.result = -1;
    return o;
}

class ControllerTest : public ScriptedWindowTest {
  protected:
    ControllerTest() { scripted::SetDefault("ibfindA", board(3)); }

    // Start-up with GPIB0 present (a board at address 0) or absent.
    void startUp(bool present) {
        if (!present) {
            scripted::Push("ibfindA", absentBoard());
        }
        form().load();
        forgetCalls();
        platform.beeps = 0;
        platform.repaints.clear();
    }

    void choose(const char16_t* name) { w().combIntfcName.setText(name); }

    void expectOperatingButtons(bool ready) {
        for (Button* b : w().operatingButtons()) {
            const bool stop = b == &w().cmdIDNtstoff || b == &w().cmdCmdtstoff;
            EXPECT_EQ(b->enabled(), ready && !stop) << b->name();
        }
    }
};

TEST_F(ControllerTest, OperatorRecoversFromAnAbsentGpib0) {
    startUp(false);
    expectOperatingButtons(false);

    // The name box still says GPIB0, the board already tried: nothing happens.
    w().cmdSetIName.press();
    EXPECT_EQ(calls(), Lines{});
    EXPECT_EQ(w().txtResults.text(), u"");
    EXPECT_TRUE(w().txtError.visible());

    w().combIntfcName.setListIndex(1);
    scripted::Push("ibfindA", absentBoard());
    w().cmdSetIName.press();
    EXPECT_EQ(calls(), Lines{"ibfindA(\"GPIB1\")"});
    EXPECT_EQ(w().txtError.text(),
              u"ibfind error,  ibsta = &H8000 <  ERR  >, iberr =  7 ENEB <No GPIB board>, "
              u"ibcnt =  0");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtResults.text(), kNotFound);
    EXPECT_EQ(gpib().BoardIndex, 1);
    EXPECT_EQ(w().bud, -1);
    expectOperatingButtons(false);

    // Same name again: the failed board is already the chosen one.
    forgetCalls();
    w().cmdSetIName.press();
    EXPECT_EQ(calls(), Lines{});

    forgetCalls();
    w().combIntfcName.setListIndex(0);
    scripted::Push("FindLstn", listeners({9}, 1));
    w().cmdSetIName.press();
    EXPECT_EQ(calls(), (Lines{"ibfindA(\"GPIB0\")", "SendIFC(0)", "ibpad(0, 0)", "ibsre(0, 1)",
                              "ibtmo(0, 12)", "FindLstn(0, 32)", "ibdev(0, 9, 0, 12, 1, 10)"}));
    EXPECT_EQ(gpib().BoardIndex, 0);
    EXPECT_EQ(w().bud, 0);
    EXPECT_EQ(w().Ctlraddr, 0);
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(w().txtResults.text(), u"FindLstn: Found 1 device at address =  9 ");
    EXPECT_TRUE(w().frmTimeout.enabled());
    EXPECT_EQ(w().optTMO.selected(), 3);
    EXPECT_EQ(w().vtmo, 12);
    EXPECT_EQ(w().FoundFlg, 1);
    EXPECT_EQ(w().Device, 9);
    EXPECT_EQ(gpib().DevAddr, 9);
    EXPECT_EQ(w().txtAddr.text(), u"9");
    EXPECT_EQ(w().txtCtlrAddr.text(), u"0");
    EXPECT_EQ(w().HelpFile, u"Quillon.hlp");
    expectOperatingButtons(true);
}

TEST_F(ControllerTest, TypedNamePassesUnchangedAndTimeoutReturnsToThreeSeconds) {
    startUp(true);
    w().optTMO(1).setValue(true);  // the operator chose 100 ms
    w().txtCtlrAddr.setText(u"21");
    forgetCalls();
    choose(u"gpib2");
    scripted::Push("FindLstn", listeners({0x6105}, 1));
    w().cmdSetIName.press();

    EXPECT_EQ(calls(), (Lines{"ibfindA(\"gpib2\")", "SendIFC(2)", "ibpad(2, 21)", "ibsre(2, 1)",
                              "ibtmo(2, 12)", "FindLstn(2, 32)", "ibdev(2, 5, 97, 12, 1, 10)"}));
    EXPECT_EQ(gpib().BoardIndex, 2);
    EXPECT_EQ(w().Ctlraddr, 21);
    EXPECT_EQ(w().optTMO.selected(), 3);
    EXPECT_EQ(w().vtmo, 12);
    // The found device keeps its bus address word.
    EXPECT_EQ(w().Device, 501);
    EXPECT_EQ(gpib().DevAddr, 24837);
    EXPECT_EQ(w().txtAddr.text(), u"501");
}

TEST_F(ControllerTest, ClearedRenBoxIsTickedWithItsOwnAction) {
    startUp(true);
    w().ckRen.setValue(0);
    forgetCalls();
    w().combIntfcName.setListIndex(1);
    w().cmdSetIName.press();
    EXPECT_EQ(calls(), (Lines{"ibfindA(\"GPIB1\")", "SendIFC(1)", "ibpad(1, 0)", "ibsre(1, 1)",
                              "ibsre(1, 1)", "ibtmo(1, 12)", "FindLstn(1, 32)"}));
    EXPECT_EQ(w().ckRen.value(), 1);
}

TEST_F(ControllerTest, AddressBeyondSixteenBitsIsRefusedBeforeTheBoardChanges) {
    startUp(true);
    w().txtCtlrAddr.setText(u"40000");
    w().combIntfcName.setListIndex(1);
    w().cmdSetIName.press();
    EXPECT_EQ(calls(), Lines{});
    EXPECT_EQ(w().txtResults.text(), kImproper);
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(gpib().BoardIndex, 0);

    // Corrected, the same name now opens the board.
    w().txtCtlrAddr.setText(u"31");
    w().cmdSetIName.press();
    EXPECT_EQ(calls().at(2), "ibpad(1, 31)");
    EXPECT_EQ(gpib().BoardIndex, 1);
}

struct SelectionStop {
    const char* entry;
    bool deviceKnown;  // FoundFlg 1: the timeout action ends with ibconfig
    size_t callsMade;
    const char16_t* heading;
    int bud;  // what the board descriptor holds afterwards
};

void PrintTo(const SelectionStop& s, std::ostream* os) {
    *os << s.entry;
}

const SelectionStop kStops[] = {
    {"ibfindA", false, 1, u"ibfind error", -1}, {"SendIFC", false, 2, u"SendIFC error", 7},
    {"ibpad", false, 3, u"ibpad error", 1},     {"ibsre", false, 4, u"ibsre Error", 1},
    {"ibtmo", false, 5, u"ibtmo Error", 1},     {"ibconfig", true, 6, u"ibtmo Error", 1},
};

class SelectionStopTest : public ControllerTest,
                          public ::testing::WithParamInterface<SelectionStop> {};

TEST_P(SelectionStopTest, StopsWithReportAndLeavesButtonsAlone) {
    const SelectionStop& stop = GetParam();
    startUp(true);
    w().FoundFlg = stop.deviceKnown ? 1 : 0;
    w().ud = 16;
    w().txtResults.setText(u"before");
    w().combIntfcName.setListIndex(1);
    forgetCalls();
    Outcome failure = stop.entry == std::string("ibfindA") ? absentBoard() : failing(7);
    if (stop.entry == std::string("SendIFC")) {
        scripted::Push("ibfindA", board(7));
    }
    scripted::Push(stop.entry, failure);
    w().cmdSetIName.press();

    const Lines opening = {"ibfindA(\"GPIB1\")", "SendIFC(1)",   "ibpad(1, 0)",
                           "ibsre(1, 1)",        "ibtmo(1, 12)", "ibconfig(16, 24, 12)"};
    EXPECT_EQ(calls(), Lines(opening.begin(), opening.begin() + stop.callsMade));
    EXPECT_EQ(w().txtError.text(),
              Text(stop.heading) +
                  u",  ibsta = &H8000 <  ERR  >, iberr =  7 ENEB <No GPIB board>, ibcnt =  0");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtResults.text(), stop.callsMade == 1 ? kNotFound : u"before");
    EXPECT_EQ(gpib().BoardIndex, 1);
    EXPECT_EQ(w().bud, stop.bud);
    expectOperatingButtons(true);
}

INSTANTIATE_TEST_SUITE_P(EachStep, SelectionStopTest, ::testing::ValuesIn(kStops),
                         [](const auto& info) { return std::string(info.param.entry); });

TEST_F(ControllerTest, FailedBoardTimeoutPassesWhenTheDeviceOptionSucceeds) {
    startUp(true);
    w().FoundFlg = 1;
    w().ud = 16;
    w().combIntfcName.setListIndex(1);
    scripted::Push("ibtmo", failing(7));
    w().cmdSetIName.press();
    EXPECT_EQ(calls().at(5), "ibconfig(16, 24, 12)");
    EXPECT_EQ(calls().at(6), "FindLstn(1, 32)");
}

TEST(BoardNumber, ReadsTheFifthAndSixthCharacters) {
    const std::pair<const char16_t*, int> cases[] = {
        {u"GPIB0", 0}, {u"gpib1", 1}, {u"GPIB12", 12}, {u"GPIB123", 12}, {u"GPIB", 0},
        {u"", 0},      {u"GPIBx", 0}, {u"GPIB 7", 7},  {u"GPIB-3", -3},  {u"GPIB&H", 0},
    };
    for (const auto& [name, number] : cases) {
        EXPECT_EQ(BoardNumber(name), number) << ToUtf8(name);
    }
}

struct AddressCase {
    const char16_t* typed;
    int address;  // -1: refused
};

void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << '"' << ToUtf8(c.typed) << '"';
}

class ControllerAddressTest : public ControllerTest,
                              public ::testing::WithParamInterface<AddressCase> {};

TEST_P(ControllerAddressTest, AcceptsZeroToThirtyAndEchoesTheText) {
    const AddressCase& c = GetParam();
    startUp(true);
    w().combCmd.setText(u"*idn?");
    w().txtError.setVisible(true);
    w().txtCtlrAddr.setText(c.typed);
    forgetCalls();
    w().cmdSetCtlr.press();

    EXPECT_EQ(w().combCmd.text(), u"");
    EXPECT_FALSE(w().txtError.visible());
    if (c.address < 0) {
        EXPECT_EQ(calls(), Lines{});
        EXPECT_EQ(w().txtResults.text(), kImproper);
        EXPECT_EQ(platform.beeps, 1);
        EXPECT_EQ(w().Ctlraddr, 0);
    } else {
        EXPECT_EQ(calls(), (Lines{"ibpad(3, " + std::to_string(c.address) + ")", "SendIFC(0)"}));
        EXPECT_EQ(w().txtResults.text(), u"Controller Address => " + Text(c.typed));
        EXPECT_EQ(platform.beeps, 0);
        EXPECT_EQ(w().Ctlraddr, c.address);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, ControllerAddressTest,
                         ::testing::Values(AddressCase{u"30", 30}, AddressCase{u"31", -1},
                                           AddressCase{u"-1", -1}, AddressCase{u"", 0},
                                           AddressCase{u"5abc", 5}, AddressCase{u"30.5", 30},
                                           AddressCase{u"30.6", -1}, AddressCase{u" 21", 21},
                                           AddressCase{u"&H1E", 30}, AddressCase{u"32768", -1},
                                           AddressCase{u"-32769", -1}, AddressCase{u"1e300", -1}));

TEST_F(ControllerTest, ControllerAddressRefusedByTheDriver) {
    startUp(true);
    w().txtCtlrAddr.setText(u"7");
    scripted::Push("ibpad", failing(7));
    forgetCalls();
    w().cmdSetCtlr.press();
    EXPECT_EQ(calls(), Lines{"ibpad(3, 7)"});
    EXPECT_EQ(w().txtError.text(),
              u"ibpad error,  ibsta = &H8000 <  ERR  >, iberr =  7 ENEB <No GPIB board>, "
              u"ibcnt =  0");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtResults.text(), u"");
}

TEST_F(ControllerTest, ControllerAddressIgnoresAFailedClear) {
    startUp(true);
    w().txtCtlrAddr.setText(u"7");
    scripted::Push("SendIFC", failing(7));
    w().cmdSetCtlr.press();
    EXPECT_EQ(w().txtResults.text(), u"Controller Address => 7");
    EXPECT_FALSE(w().txtError.visible());
}

}  // namespace
