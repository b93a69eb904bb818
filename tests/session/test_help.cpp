// The three help routes: the file name, command and context number that reach
// the help facility, before start-up, after a successful and after a failed
// one; and that asking for help changes nothing in the window.
#include <string>
#include <vector>

#include "session/help.h"
#include "window/scripted_window.h"

namespace {

using Route = HelpRequest::Route;

enum class Stage { BeforeStartUp, Ready, Stopped };

struct Row {
    const char* name;
    Stage stage;
    Route route;
    Text file;
    int command;
    long data;
};

class HelpTest : public ScriptedWindowTest, public ::testing::WithParamInterface<Row> {
  protected:
    void reach(Stage stage) {
        if (stage == Stage::Stopped) {
            scripted::Push("ibfindA", failing());
        }
        if (stage != Stage::BeforeStartUp) {
            form().load();
        }
        forgetCalls();
    }
    void ask(Route route) {
        switch (route) {
            case Route::HtmlHelp:
                w().cmdHelp.press();
                break;
            case Route::CommonDialog:
                w().form.dblClick.fire();
                break;
            case Route::ContextHelp:
                Form_ContextHelp(w());
                break;
        }
    }
};

const Text kDoubleClickFile = FromUtf8(TM_TEST_DOUBLE_CLICK_HELP_FILE);

TEST_P(HelpTest, RouteHandsItsFileCommandAndContextToTheFacility) {
    const Row& row = GetParam();
    reach(row.stage);
    const Text results = w().txtResults.text();
    const bool errorShown = w().txtError.visible();
    const Text helpFile = w().HelpFile;
    const int beeps = platform.beeps;

    ask(row.route);

    ASSERT_EQ(platform.help.size(), 1u);
    const HelpRequest& request = platform.help[0];
    EXPECT_EQ(request.route, row.route);
    EXPECT_EQ(ToUtf8(request.file), ToUtf8(row.file));
    EXPECT_EQ(request.command, row.command);
    EXPECT_EQ(request.data, row.data);
    // Help needs no bus and leaves the window as it was.
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(w().txtResults.text(), results);
    EXPECT_EQ(w().txtError.visible(), errorShown);
    EXPECT_EQ(w().HelpFile, helpFile);
    EXPECT_EQ(platform.beeps, beeps);
    EXPECT_EQ(platform.quits, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, HelpTest,
    ::testing::Values(
        Row{"ButtonBeforeStartUp", Stage::BeforeStartUp, Route::HtmlHelp, u"Quillon.chm", 0, 0},
        Row{"ButtonWhenReady", Stage::Ready, Route::HtmlHelp, u"Quillon.chm", 0, 0},
        Row{"ButtonWhenStopped", Stage::Stopped, Route::HtmlHelp, u"Quillon.chm", 0, 0},
        Row{"DoubleClickWhenReady", Stage::Ready, Route::CommonDialog, kDoubleClickFile, 3, 0},
        Row{"DoubleClickWhenStopped", Stage::Stopped, Route::CommonDialog, kDoubleClickFile, 3, 0},
        Row{"F1WhenReady", Stage::Ready, Route::ContextHelp, u"/opt/tarvel-morrow/Quillon2.chm",
            0x0F, 2007557},
        Row{"F1WhenStopped", Stage::Stopped, Route::ContextHelp, u"Quillon.hlp", 0x0F, 2007557}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

TEST_F(ScriptedWindowTest, DoubleClickFileIsAnAbsolutePathToQuillon2) {
    const std::string file = ToUtf8(DoubleClickHelpFile());
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.front(), '/');
    EXPECT_TRUE(file.ends_with("/Quillon2.chm")) << file;
    w().form.dblClick.fire();
    // The common dialog keeps what it was asked to show.
    EXPECT_EQ(w().cdbHelp.HelpFile, DoubleClickHelpFile());
    EXPECT_EQ(w().cdbHelp.HelpCommand, 3);
}

TEST_F(ScriptedWindowTest, BoardChosenAfterAFailedStartUpKeepsItsHelpFile) {
    scripted::Push("ibfindA", failing());
    form().load();
    w().combIntfcName.setText(u"GPIB1");
    w().cmdSetIName.press();
    ASSERT_TRUE(w().cmdFindLstn.enabled());  // the board opened
    Form_ContextHelp(w());
    ASSERT_EQ(platform.help.size(), 1u);
    EXPECT_EQ(ToUtf8(platform.help[0].file), "Quillon.hlp");
}

}  // namespace
