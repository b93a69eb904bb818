// Start-up on the scripted driver: the ready state and each of the five
// stops, with the exact driver calls, the report and the controls left.
#include <string>
#include <vector>

#include "window/scripted_window.h"

namespace {

using scripted::Outcome;
using Lines = std::vector<std::string>;

const Lines kOpening = {"ibfindA(\"GPIB0\")", "ibask(3, 1)", "SendIFC(0)", "ibsre(3, 1)",
                        "ibtmo(3, 12)"};

class StartUpTest : public ScriptedWindowTest {
  protected:
    StartUpTest() {
        Outcome board;
        board.result = 3;
        scripted::SetDefault("ibfindA", board);
        Outcome address;
        address.value = 21;
        scripted::SetDefault("ibask", address);
    }

    void expectOperatingButtons(bool ready) {
        for (Button* b : w().operatingButtons()) {
            const bool stop = b == &w().cmdIDNtstoff || b == &w().cmdCmdtstoff;
            EXPECT_EQ(b->enabled(), ready && !stop) << b->name();
            EXPECT_TRUE(b->visible()) << b->name();
        }
        EXPECT_TRUE(w().cmdExit.enabled());
        EXPECT_TRUE(w().cmdSetIName.enabled());
        EXPECT_TRUE(w().cmdHelp.enabled());
    }

    void expectInitialValues() {
        EXPECT_EQ(w().RecvBuf, Text(100, u' '));
        EXPECT_EQ(w().NL, u"\r\n");
        EXPECT_EQ(w().txtRev.text(), u"Revised 05-17-2012");
        EXPECT_EQ(w().combCmd.items(), (std::vector<Text>{u"*esr?", u"*idn?", u"*stb?"}));
        EXPECT_EQ(w().combCmd.text(), u"");
        ASSERT_EQ(w().combIntfcName.items().size(), 16u);
        EXPECT_EQ(w().combIntfcName.items()[9], u"GPIB9");
        EXPECT_EQ(w().combIntfcName.items()[10], u"GPIB10");
        EXPECT_EQ(w().combIntfcName.text(), u"GPIB0");
        EXPECT_EQ(w().ckCR.value(), 0);
        EXPECT_EQ(w().ckLF.value(), 1);
        EXPECT_EQ(w().ckCRTerm.value(), 0);
        EXPECT_EQ(w().ckLFTerm.value(), 1);
        EXPECT_EQ(w().ckRen.value(), 1);
        EXPECT_EQ(w().ckAutoQuery.value(), 1);
        EXPECT_EQ(w().ckByteCnt.value(), 0);
        EXPECT_FALSE(w().txtError.enabled());
        EXPECT_FALSE(w().txtCount.visible());
        EXPECT_EQ(w().HelpContextID, 2007557);
        EXPECT_EQ(w().eos, 10);
    }
};

TEST_F(StartUpTest, ReadyWithOneListener) {
    scripted::Push("FindLstn", listeners({9}, 1));
    form().load();

    Lines expected = kOpening;
    expected.insert(expected.end(), {"FindLstn(0, 32)", "ibdev(0, 9, 0, 12, 1, 10)"});
    EXPECT_EQ(calls(), expected);
    expectInitialValues();
    expectOperatingButtons(true);
    EXPECT_TRUE(w().frmTimeout.enabled());
    EXPECT_EQ(w().optTMO.selected(), 3);
    EXPECT_EQ(w().vtmo, 12);
    EXPECT_EQ(w().bud, 3);
    EXPECT_EQ(w().Ctlraddr, 21);
    EXPECT_EQ(w().txtCtlrAddr.text(), u" 21");
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(w().txtResults.text(), u"FindLstn: Found 1 device at address =  9 ");
    EXPECT_EQ(platform.repaints, Lines{"txtResults: FindLstn: Wait while looking for devices"});
    EXPECT_EQ(w().FoundFlg, 1);
    EXPECT_EQ(w().ud, 16);
    EXPECT_EQ(w().Device, 9);
    EXPECT_EQ(gpib().DevAddr, 9);
    EXPECT_EQ(w().txtAddr.text(), u"9");
    EXPECT_EQ(w().HelpFile, u"/opt/tarvel-morrow/Quillon2.chm");
    EXPECT_EQ(platform.beeps, 0);
}

TEST_F(StartUpTest, DeviceWithSecondaryAddressKeepsItsBusAddressWord) {
    scripted::Push("FindLstn", listeners({0x6105}, 1));
    form().load();
    EXPECT_EQ(calls().back(), "ibdev(0, 5, 97, 12, 1, 10)");
    EXPECT_EQ(w().Device, 501);
    EXPECT_EQ(w().txtAddr.text(), u"501");
    EXPECT_EQ(gpib().DevAddr, 24837);
}

TEST_F(StartUpTest, ReadyWithNoListener) {
    form().load();
    Lines expected = kOpening;
    expected.push_back("FindLstn(0, 32)");
    EXPECT_EQ(calls(), expected);
    expectOperatingButtons(true);
    EXPECT_EQ(w().txtResults.text(), u"FindLstn: No devices found");
    EXPECT_EQ(w().FoundFlg, 0);
    EXPECT_EQ(w().txtAddr.text(), u" 0");
    EXPECT_EQ(gpib().DevAddr, 0);
    EXPECT_EQ(w().Device, 0);
    EXPECT_EQ(w().FoundList[0], -1);
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(w().HelpFile, u"/opt/tarvel-morrow/Quillon2.chm");
}

struct Stop {
    const char* entry;  // entry point that fails
    size_t callsMade;   // calls of the opening sequence made, the failing one included
    const char16_t* report;
    const char16_t* ctlrAddr;
    bool timeoutFrame;
};

const Stop kStops[] = {
    {"ibfindA", 1,
     u"ibfind error,  ibsta = &H8000 <  ERR  >, iberr =  7 ENEB <No GPIB board>, ibcnt =  0", u"0",
     false},
    {"ibask", 2,
     u"ibask error,  ibsta = &H8000 <  ERR  >, iberr =  7 ENEB <No GPIB board>, ibcnt =  0", u"0",
     false},
    {"SendIFC", 3,
     u"SendIFC error,  ibsta = &H8000 <  ERR  >, iberr =  7 ENEB <No GPIB board>, ibcnt =  0",
     u" 21", false},
    {"ibsre", 4,
     u"ibsre Error,  ibsta = &H8000 <  ERR  >, iberr =  7 ENEB <No GPIB board>, ibcnt =  0", u" 21",
     false},
    {"ibtmo", 5,
     u"ibtmo Error,  ibsta = &H8000 <  ERR  >, iberr =  7 ENEB <No GPIB board>, ibcnt =  0", u" 21",
     true},
};

class StartUpStopTest : public StartUpTest, public ::testing::WithParamInterface<Stop> {};

TEST_P(StartUpStopTest, StopsWithReportAndButtonsDisabled) {
    const Stop& stop = GetParam();
    Outcome failure = failing(7);
    failure.result = stop.entry == std::string("ibfindA") ? -1 : 3;
    failure.value = 21;
    scripted::Push(stop.entry, failure);
    form().load();

    EXPECT_EQ(calls(), Lines(kOpening.begin(), kOpening.begin() + stop.callsMade));
    EXPECT_EQ(w().txtError.text(), stop.report);
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(gpib().StatusReport, stop.report);
    expectInitialValues();
    expectOperatingButtons(false);
    EXPECT_EQ(w().frmTimeout.enabled(), stop.timeoutFrame);
    EXPECT_EQ(w().optTMO.selected(), stop.timeoutFrame ? 3 : -1);
    EXPECT_EQ(w().txtCtlrAddr.text(), stop.ctlrAddr);
    EXPECT_EQ(w().HelpFile, u"Quillon.hlp");
    EXPECT_EQ(w().txtResults.text(), u"");
    EXPECT_EQ(w().FoundFlg, 0);
    EXPECT_EQ(gpib().DevAddr, 4);
    EXPECT_EQ(w().Device, 4);
    if (stop.callsMade == 1) {
        EXPECT_EQ(w().bud, -1);
    }
}

INSTANTIATE_TEST_SUITE_P(EachStep, StartUpStopTest, ::testing::ValuesIn(kStops),
                         [](const auto& info) { return std::string(info.param.entry); });

}  // namespace
