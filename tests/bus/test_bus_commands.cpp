// Trigger, Serial Poll, Device Clear and Send IFC on the scripted driver: the
// command box, the guard, the success texts, the reports and the exact calls.
#include <string>
#include <vector>

#include "window/scripted_window.h"

namespace {

using Lines = std::vector<std::string>;

const std::u16string kGuard = u"No devices found. Use Findlstn or enter and set a device address";

// A selected device on board 1, a stale error showing and a command typed.
class BusCommandTest : public ScriptedWindowTest {
  protected:
    void selectDevice(double device, int16_t word) {
        gpib().BoardIndex = 1;
        w().bud = 1;
        w().FoundFlg = 1;
        w().Device = device;
        gpib().DevAddr = word;
        w().combCmd.setText(u"*idn?");
        w().txtResults.setText(u"previous");
        w().txtError.setText(u"stale");
        w().txtError.setVisible(true);
        forgetCalls();
    }
};

struct DeviceCommand {
    const char* entry;
    Button FormControls::*button;
    bool clearsBeforeGuard;  // Trigger empties the command box also when refused
    const char16_t* heading;
    double device;
    int16_t word;
    int status;  // what ReadStatusByte answers
    const char* call;
    const char16_t* success;
};

void PrintTo(const DeviceCommand& c, std::ostream* os) {
    *os << c.entry;
}

const DeviceCommand kCommands[] = {
    {"Trigger", &FormControls::cmdTrig, true, u"Trigger Error", 5, 5, 0, "Trigger(1, 5)",
     u"GET sent to device 5"},
    {"ReadStatusByte", &FormControls::cmdSPoll, false, u"SPoll Error", 5, 5, 16,
     "ReadStatusByte(1, 5)", u"Serial poll response for device 5 =  16"},
    {"ReadStatusByte", &FormControls::cmdSPoll, false, u"SPoll Error", 9, 9, 0,
     "ReadStatusByte(1, 9)", u"Serial poll response for device 9 =  0"},
    {"DevClear", &FormControls::cmdDevClr, false, u"DevCLr Error", 501, 24837, 0,
     "DevClear(1, 24837)", u"Selected Device Clear sent to device 501"},
};

class DeviceCommandTest : public BusCommandTest,
                          public ::testing::WithParamInterface<DeviceCommand> {
  protected:
    void press() { (w().*GetParam().button).press(); }
};

TEST_P(DeviceCommandTest, SuccessShowsItsText) {
    const DeviceCommand& c = GetParam();
    selectDevice(c.device, c.word);
    scripted::Outcome answer;
    answer.value = c.status;
    scripted::Push(c.entry, answer);
    press();

    EXPECT_EQ(calls(), Lines{c.call});
    EXPECT_EQ(w().txtResults.text(), c.success);
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(w().combCmd.text(), u"");
    EXPECT_EQ(platform.beeps, 0);
    EXPECT_EQ(w().FoundFlg, 1);
    EXPECT_EQ(gpib().DevAddr, c.word);
}

TEST_P(DeviceCommandTest, GuardRefusesWithoutDevice) {
    const DeviceCommand& c = GetParam();
    selectDevice(c.device, c.word);
    w().FoundFlg = 0;
    press();

    EXPECT_EQ(calls(), Lines{});
    EXPECT_EQ(w().txtResults.text(), kGuard);
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(w().combCmd.text(), c.clearsBeforeGuard ? u"" : u"*idn?");
}

TEST_P(DeviceCommandTest, DriverFailureIsReportedAndResultsKept) {
    const DeviceCommand& c = GetParam();
    selectDevice(c.device, c.word);
    scripted::Push(c.entry, failing(2));
    press();

    EXPECT_EQ(calls(), Lines{c.call});
    EXPECT_EQ(w().txtError.text(),
              Text(c.heading) +
                  u",  ibsta = &H8000 <  ERR  >, iberr =  2 ENOL <No Listener>, ibcnt =  0");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtResults.text(), u"previous");
    EXPECT_EQ(w().combCmd.text(), u"");
    EXPECT_EQ(platform.beeps, 0);
}

INSTANTIATE_TEST_SUITE_P(EachButton, DeviceCommandTest, ::testing::ValuesIn(kCommands),
                         [](const auto& info) {
                             return std::string(info.param.entry) + std::to_string(info.index);
                         });

// Send IFC with both loops running and their count showing.
class SendIfcTest : public BusCommandTest {
  protected:
    void runBothLoops() {
        w().IDNTestFlg = 1;
        w().CMDloopFlg = 1;
        w().cmdIDNtst.setEnabled(false);
        w().cmdIDNtstoff.setEnabled(true);
        w().cmdCmdtst.setEnabled(false);
        w().cmdCmdtstoff.setEnabled(true);
        w().txtCount.setVisible(true);
        w().lblCount.setVisible(true);
    }

    void expectLoopsRunning(bool running) {
        EXPECT_EQ(w().IDNTestFlg, running ? 1 : 0);
        EXPECT_EQ(w().CMDloopFlg, running ? 1 : 0);
        EXPECT_EQ(w().cmdIDNtst.enabled(), !running);
        EXPECT_EQ(w().cmdIDNtstoff.enabled(), running);
        EXPECT_EQ(w().cmdCmdtst.enabled(), !running);
        EXPECT_EQ(w().cmdCmdtstoff.enabled(), running);
        EXPECT_EQ(w().txtCount.visible(), running);
        EXPECT_EQ(w().lblCount.visible(), running);
    }
};

TEST_F(SendIfcTest, ClearsInterfaceRestoresRenAndStopsLoops) {
    selectDevice(5, 5);
    w().FoundFlg = 0;  // IFC needs no device
    runBothLoops();
    w().cmdIFC.press();

    EXPECT_EQ(calls(), (Lines{"SendIFC(1)", "ibsre(1, 1)"}));
    EXPECT_EQ(w().txtResults.text(), u"Interface Clear sent");
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(w().combCmd.text(), u"");
    EXPECT_EQ(platform.beeps, 0);
    expectLoopsRunning(false);
}

TEST_F(SendIfcTest, RenBoxClearReleasesRen) {
    selectDevice(5, 5);
    w().ckRen.setValue(0);
    forgetCalls();
    w().cmdIFC.press();
    EXPECT_EQ(calls(), (Lines{"SendIFC(1)", "ibsre(1, 0)"}));
    EXPECT_EQ(w().txtResults.text(), u"Interface Clear sent");
}

TEST_F(SendIfcTest, FailedClearLeavesLoopsRunning) {
    selectDevice(5, 5);
    runBothLoops();
    scripted::Push("SendIFC", failing(7));
    w().cmdIFC.press();

    EXPECT_EQ(calls(), Lines{"SendIFC(1)"});
    EXPECT_EQ(w().txtError.text(),
              u"SendIFC Error,  ibsta = &H8000 <  ERR  >, iberr =  7 ENEB <No GPIB board>, "
              u"ibcnt =  0");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtResults.text(), u"previous");
    EXPECT_EQ(w().combCmd.text(), u"");
    expectLoopsRunning(true);
}

TEST_F(SendIfcTest, FailedRenKeepsClearMessageAndLoops) {
    selectDevice(5, 5);
    runBothLoops();
    scripted::Push("ibsre", failing(7));
    w().cmdIFC.press();

    EXPECT_EQ(calls(), (Lines{"SendIFC(1)", "ibsre(1, 1)"}));
    EXPECT_EQ(w().txtError.text(),
              u"ibSRE Error,  ibsta = &H8000 <  ERR  >, iberr =  7 ENEB <No GPIB board>, "
              u"ibcnt =  0");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtResults.text(), u"Interface Clear sent");
    expectLoopsRunning(true);
}

}  // namespace
