// The timeout options and the REN box, driven through their controls.
#include <string>
#include <vector>

#include "session/timeout_ren.h"
#include "window/scripted_window.h"

namespace {

using Lines = std::vector<std::string>;

struct TimeoutCase {
    int index;
    int code;
};

class TimeoutTest : public ScriptedWindowTest, public ::testing::WithParamInterface<TimeoutCase> {
  protected:
    TimeoutTest() {
        w().bud = 3;
        w().ud = 16;
        w().vtmo = 99;
        w().txtError.setVisible(true);
        w().txtResults.setText(u"before");
    }
};

TEST_P(TimeoutTest, NoDeviceKnownSetsTheBoardOnly) {
    const auto [index, code] = GetParam();
    w().optTMO(index).setValue(true);
    EXPECT_EQ(calls(), Lines{"ibtmo(3, " + std::to_string(code) + ")"});
    EXPECT_EQ(w().vtmo, code);
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(w().txtResults.text(), u"before");
    // Choosing the selected option again is no click.
    w().optTMO(index).setValue(true);
    EXPECT_EQ(calls().size(), 1u);
}

TEST_P(TimeoutTest, KnownDeviceGetsTheSerialPollTimeoutToo) {
    const auto [index, code] = GetParam();
    w().FoundFlg = 1;
    w().optTMO(index).setValue(true);
    const std::string c = std::to_string(code);
    EXPECT_EQ(calls(), (Lines{"ibtmo(3, " + c + ")", "ibconfig(16, 24, " + c + ")"}));
}

INSTANTIATE_TEST_SUITE_P(EachOption, TimeoutTest,
                         ::testing::Values(TimeoutCase{0, 7}, TimeoutCase{1, 9}, TimeoutCase{2, 11},
                                           TimeoutCase{3, 12}, TimeoutCase{4, 13},
                                           TimeoutCase{5, 0}));

class TimeoutActionTest : public ScriptedWindowTest {};

TEST_F(TimeoutActionTest, FailureIsNotReportedByTheAction) {
    w().bud = 3;
    w().txtError.setVisible(true);
    w().txtResults.setText(u"before");
    scripted::Push("ibtmo", failing(4));
    w().optTMO(2).setValue(true);
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_EQ(w().txtError.text(), u"");
    EXPECT_EQ(w().txtResults.text(), u"before");
    EXPECT_TRUE(w().failed());
}

TEST_F(TimeoutActionTest, IndexOutsideTheTableKeepsTheCode) {
    w().bud = 3;
    w().vtmo = 13;
    optTMO_Click(w(), 6);
    EXPECT_EQ(w().vtmo, 13);
    EXPECT_EQ(calls(), Lines{"ibtmo(3, 13)"});
}

struct RenCase {
    const char* name;
    int value;
    bool fails;
    const char* call;
    const char16_t* results;
};

class RenTest : public ScriptedWindowTest, public ::testing::WithParamInterface<RenCase> {};

TEST_P(RenTest, SetsTheLineAndSaysSo) {
    const RenCase& c = GetParam();
    w().bud = 3;
    w().txtError.setVisible(true);  // an earlier report still showing
    if (c.value == 1) {
        w().ckRen.setValueSilently(0);
    }
    if (c.fails) {
        scripted::Push("ibsre", failing(5));
    }
    w().ckRen.setValue(c.value);
    EXPECT_EQ(calls(), Lines{c.call});
    EXPECT_EQ(w().txtResults.text(), c.results);
    EXPECT_EQ(w().txtError.visible(), c.fails);
    if (c.fails) {
        EXPECT_EQ(w().txtError.text(),
                  u"ibsre Error,  ibsta = &H8000 <  ERR  >, iberr =  5 ESAC <Not Sys Ctrlr>, "
                  u"ibcnt =  0");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenTest,
    ::testing::Values(RenCase{"Clear", 0, false, "ibsre(3, 0)", u"REN deasserted"},
                      RenCase{"Tick", 1, false, "ibsre(3, 1)", u"REN Asserted"},
                      RenCase{"ClearFails", 0, true, "ibsre(3, 0)", u"REN deasserted"},
                      RenCase{"TickFails", 1, true, "ibsre(3, 1)", u"REN Asserted"},
                      RenCase{"GreyCountsAsClear", 2, false, "ibsre(3, 0)", u"REN deasserted"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
