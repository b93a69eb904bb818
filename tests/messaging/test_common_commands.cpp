// *CLS and *RST: the bytes sent for each terminator choice, the confirmation
// with the device's address, the guard and a failed send.
#include <string>
#include <vector>

#include "messaging/common_commands.h"
#include "messaging/device_window.h"

namespace {

using Lines = std::vector<std::string>;

struct CommonCase {
    const char* name;
    bool reset;  // *RST rather than *CLS
    int cr;
    int lf;
    const char* sent;
    const char16_t* shown;
};

class CommonCommandTest : public DeviceWindowTest,
                          public ::testing::WithParamInterface<CommonCase> {
  protected:
    Button& button(bool reset) { return reset ? w().cmdRST : w().cmdCLS; }
};

TEST_P(CommonCommandTest, SendsAndConfirms) {
    const CommonCase& c = GetParam();
    w().ckCR.setValue(c.cr);
    w().ckLF.setValue(c.lf);
    w().Device = 5;
    w().txtError.setVisible(true);
    type(u"*idn?");
    button(c.reset).press();
    EXPECT_EQ(calls(), Lines{c.sent});  // no read follows, query or not
    EXPECT_EQ(w().txtResults.text(), c.shown);
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(w().combCmd.text(), u"");
    EXPECT_EQ(w().combCmd.items().size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommonCommandTest,
    ::testing::Values(
        CommonCase{"ClsLf", false, 0, 1, "Send(0, 9, \"*CLS\\n\", 5, 2)", u"*CLS sent to device 5"},
        CommonCase{"ClsCrLf", false, 1, 1, "Send(0, 9, \"*CLS\\r\\n\", 6, 2)",
                   u"*CLS sent to device 5"},
        CommonCase{"RstCr", true, 1, 0, "Send(0, 9, \"*RST\\r\", 5, 2)", u"*RST sent to device 5"}),
    [](const auto& info) { return std::string(info.param.name); });

class CommonCommandsTest : public DeviceWindowTest {};

TEST_F(CommonCommandsTest, ConfirmationUsesTheStoredAddress) {
    w().Device = 15.6;
    w().txtAddr.setText(u"22");
    w().cmdCLS.press();
    EXPECT_EQ(w().txtResults.text(), u"*CLS sent to device 15.6");
    w().Device = -1;
    w().cmdRST.press();
    EXPECT_EQ(w().txtResults.text(), u"*RST sent to device-1");
}

TEST_F(CommonCommandsTest, GuardKeepsTheCommandBox) {
    w().FoundFlg = 0;
    type(u"MEAS?");
    w().cmdRST.press();
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(w().txtResults.text(),
              u"No devices found. Use Findlstn or enter and set a device address");
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(w().combCmd.text(), u"MEAS?");
}

TEST_F(CommonCommandsTest, FailedSendClearsTheBoxesAndLeavesTheLoopsAlone) {
    w().txtResults.setText(u"earlier answer");
    type(u"MEAS?");
    scripted::Push("Send", failing(2));
    w().cmdCLS.press();
    EXPECT_EQ(w().txtResults.text(), u"");
    EXPECT_EQ(w().combCmd.text(), u"");
    EXPECT_TRUE(w().txtError.visible());
    EXPECT_EQ(w().txtError.text(),
              u"Send error,  ibsta = &H8000 <  ERR  >, iberr =  2 ENOL <No Listener>, ibcnt =  0");
    EXPECT_EQ(w().TestHalt, 0);
}

}  // namespace
