// Both loops worked tick by tick (the timer is driven directly): what each
// tick sends and reads, the count, the halt after a failure and its release.
#include <string>
#include <vector>

#include "messaging/device_window.h"
#include "messaging/repeating_loops.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kIdn = "Send(0, 9, \"*IDN?\\n\", 6, 2)";
const std::string kIdnLower = "Send(0, 9, \"*idn?\\n\", 6, 2)";
const std::string kRead = "Receive(0, 9, 100, 10)";
const Text kSendFailed =
    u"Send error,  ibsta = &H8000 <  ERR  >, iberr =  2 ENOL <No Listener>, ibcnt =  0";
const Text kReceiveFailed =
    u"Receive error,  ibsta = &HC000 <  ERR TIMO  >, iberr =  6 EABO <Operation aborted>, "
    u"ibcnt =  0";

class LoopTest : public DeviceWindowTest {
  protected:
    void tick() { w().Timer1.tick(); }
    // The calls of the next tick alone.
    Lines tickCalls() {
        forgetCalls();
        tick();
        return calls();
    }
    void expectCount(const char16_t* text) {
        EXPECT_TRUE(w().txtCount.visible());
        EXPECT_TRUE(w().lblCount.visible());
        EXPECT_EQ(w().txtCount.text(), text);
    }
};

TEST_F(LoopTest, IdentificationLoopCountsItsTicks) {
    type(u"MEAS?");
    w().cmdIDNtst.press();
    EXPECT_EQ(w().combCmd.text(), u"*idn?");
    EXPECT_FALSE(w().cmdIDNtst.enabled());
    EXPECT_TRUE(w().cmdIDNtstoff.enabled());
    for (int n = 1; n <= 3; ++n) {
        answer("ACME,DMM,1,2\n");
        EXPECT_EQ(tickCalls(), (Lines{kIdn, kRead}));
    }
    EXPECT_EQ(w().txtResults.text(), u"ACME,DMM,1,2");
    expectCount(u"3");
    EXPECT_EQ(w().LpCount, 3);
}

TEST_F(LoopTest, BothLoopsShareOneTickIdentificationFirst) {
    w().cmdIDNtst.press();
    w().cmdCmdtst.press();  // sends the "*idn?" the first loop left in the box
    answer("first\n");
    answer("second\n");
    EXPECT_EQ(tickCalls(), (Lines{kIdn, kRead, kIdnLower, kRead}));
    EXPECT_EQ(w().txtResults.text(), u"second");
    expectCount(u"1");
}

TEST_F(LoopTest, CommandLoopConfirmsWhatIsNotAQuery) {
    type(u"*TRG");
    w().cmdCmdtst.press();
    EXPECT_EQ(tickCalls(), Lines{"Send(0, 9, \"*TRG\\n\", 5, 2)"});
    EXPECT_EQ(w().txtResults.text(), u"Sent string => *TRG\n");
    // The box is read on every tick.
    w().ckAutoQuery.setValue(0);
    type(u"*idn?");
    EXPECT_EQ(tickCalls(), Lines{kIdnLower});
    EXPECT_EQ(w().txtResults.text(), u"Sent string => *idn?\n");
    expectCount(u"2");
}

TEST_F(LoopTest, SendFailureHaltsLaterTicksNotTheRestOfItsOwn) {
    w().cmdIDNtst.press();
    w().ckAutoQuery.setValue(0);
    w().cmdCmdtst.press();
    scripted::Push("Send", failing(2));
    EXPECT_EQ(tickCalls(), (Lines{kIdn, kIdnLower}));
    EXPECT_EQ(w().TestHalt, 1);
    // The command transaction hid the report again; its text stays.
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(w().txtError.text(), kSendFailed);
    EXPECT_EQ(w().txtResults.text(), u"Sent string => *idn?\n");
    expectCount(u"1");

    EXPECT_TRUE(tickCalls().empty());
    expectCount(u"1");
    EXPECT_EQ(w().IDNTestFlg, 1);
    EXPECT_TRUE(w().cmdIDNtstoff.enabled());
}

TEST_F(LoopTest, ReadFailureIsReportedUnderTheLoopsHeading) {
    w().cmdIDNtst.press();
    w().txtResults.setText(u"earlier");
    scripted::Push("Receive", failing(6, kErr | 0x4000));
    EXPECT_EQ(tickCalls(), (Lines{kIdn, kRead}));
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtError.text(), kReceiveFailed);
    EXPECT_EQ(w().txtResults.text(), u"earlier");
    EXPECT_EQ(w().TestHalt, 1);
    expectCount(u"1");
}

TEST_F(LoopTest, StartingALoopReleasesTheHalt) {
    w().cmdIDNtst.press();
    scripted::Push("Send", failing(2));
    tick();
    ASSERT_EQ(w().TestHalt, 1);
    tick();
    expectCount(u"1");
    type(u"*OPC?");
    w().cmdCmdtst.press();
    EXPECT_EQ(w().TestHalt, 0);
    EXPECT_EQ(tickCalls(), (Lines{kIdn, kRead, "Send(0, 9, \"*OPC?\\n\", 6, 2)", kRead}));
    expectCount(u"2");
}

TEST_F(LoopTest, FailedManualReadHaltsARunningLoop) {
    w().cmdIDNtst.press();
    tick();
    scripted::Push("Receive", failing(6, kErr | 0x4000));
    w().cmdRead.press();
    EXPECT_EQ(w().TestHalt, 1);
    EXPECT_TRUE(tickCalls().empty());
}

TEST_F(LoopTest, EmptyBoxRefusesToStart) {
    w().txtResults.setText(u"before");
    w().cmdCmdtst.press();
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(w().txtResults.text(),
              u"No command specified.  Enter a command before starting the Command Loop");
    EXPECT_EQ(w().CMDloopFlg, 0);
    EXPECT_TRUE(w().cmdCmdtst.enabled());
    EXPECT_FALSE(w().cmdCmdtstoff.enabled());
    EXPECT_TRUE(tickCalls().empty());
}

TEST_F(LoopTest, EmptyBoxWhileRunningComplainsEveryTickWithoutHalting) {
    w().cmdIDNtst.press();
    w().cmdCmdtst.press();
    type(u"");
    for (int n = 1; n <= 2; ++n) {
        EXPECT_EQ(tickCalls(), (Lines{kIdn, kRead}));
        EXPECT_TRUE(w().txtError.visible());
        EXPECT_EQ(w().txtError.text(), u"Command box empty");
    }
    EXPECT_EQ(platform.beeps, 2);
    EXPECT_EQ(w().TestHalt, 0);
    expectCount(u"2");
}

TEST_F(LoopTest, StoppingOneOfTwoKeepsCounting) {
    w().cmdIDNtst.press();
    w().cmdCmdtst.press();
    tick();
    tick();
    w().cmdIDNtstoff.press();
    EXPECT_TRUE(w().cmdIDNtst.enabled());
    EXPECT_FALSE(w().cmdIDNtstoff.enabled());
    expectCount(u"2");
    EXPECT_EQ(tickCalls(), (Lines{kIdnLower, kRead}));
    expectCount(u"3");

    scripted::Push("Send", failing(2));
    tick();
    ASSERT_EQ(w().TestHalt, 1);
    w().cmdCmdtstoff.press();
    EXPECT_FALSE(w().txtCount.visible());
    EXPECT_FALSE(w().lblCount.visible());
    EXPECT_EQ(w().LpCount, 0);
    EXPECT_EQ(w().TestHalt, 0);
    EXPECT_TRUE(w().cmdCmdtst.enabled());
    EXPECT_FALSE(w().cmdCmdtstoff.enabled());
}

TEST_F(LoopTest, IdleTickHidesAndResetsTheCount) {
    w().LpCount = 7;
    w().txtCount.setVisible(true);
    w().lblCount.setVisible(true);
    EXPECT_TRUE(tickCalls().empty());
    EXPECT_EQ(w().LpCount, 0);
    EXPECT_FALSE(w().txtCount.visible());
    EXPECT_TRUE(w().lblCount.visible());  // the idle tick leaves the label alone
}

TEST_F(LoopTest, WithoutADeviceTheLoopSendsAndTheReadRefuses) {
    w().FoundFlg = 0;
    w().cmdIDNtst.press();
    EXPECT_EQ(tickCalls(), Lines{kIdn});
    EXPECT_EQ(w().txtResults.text(),
              u"No devices found. Use Findlstn or enter and set a device address");
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(w().TestHalt, 0);
    EXPECT_FALSE(w().txtError.visible());
    expectCount(u"1");
}

}  // namespace
