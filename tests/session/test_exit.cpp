// Exit ends the program at once, also in the middle of a loop: no Stop first,
// no further driver call, not even from a tick delivered on the way out.
#include "messaging/device_window.h"
#include "session/exit.h"

namespace {

class ExitTest : public DeviceWindowTest {};

TEST_F(ExitTest, EndsWithoutTouchingTheBus) {
    w().cmdExit.press();
    EXPECT_EQ(platform.quits, 1);
    EXPECT_TRUE(calls().empty());
}

TEST_F(ExitTest, RunningLoopMakesNoFurtherCall) {
    w().cmdIDNtst.press();
    answer("ACME,DMM,1,2\n");
    w().Timer1.tick();
    ASSERT_EQ(calls().size(), 2u);  // the loop runs: Send and Receive
    forgetCalls();

    w().cmdExit.press();
    EXPECT_EQ(platform.quits, 1);
    answer("ACME,DMM,1,2\n");
    w().Timer1.tick();  // a tick the toolkit still delivers before the loop ends
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(w().LpCount, 1);
}

TEST_F(ExitTest, CommandLoopTooMakesNoFurtherCall) {
    w().combCmd.setText(u"MEAS?");
    w().cmdCmdtst.press();
    forgetCalls();
    w().cmdExit.press();
    w().Timer1.tick();
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(platform.quits, 1);
}

}  // namespace
