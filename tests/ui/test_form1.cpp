// Form1's wiring and what it shows about the driver in use.
#include <string>

#include "window/scripted_window.h"

namespace {

class Form1Test : public ScriptedWindowTest {};

TEST_F(Form1Test, TitleNamesTheDriverAfterTheCaption) {
    const std::string title = ToUtf8(w().form.title());
    EXPECT_EQ(title.rfind("Tarvel Morrow \u2014 ", 0), 0u) << title;
    EXPECT_NE(title.find("scripted test driver"), std::string::npos) << title;
    EXPECT_EQ(w().form.caption(), u"Tarvel Morrow");
}

TEST_F(Form1Test, ExitEndsTheProgramWithoutTouchingTheBus) {
    form().load();
    forgetCalls();
    w().cmdExit.press();
    EXPECT_EQ(platform.quits, 1);
    EXPECT_TRUE(calls().empty());
}

TEST_F(Form1Test, AnyAddressChangeEnablesSet) {
    w().cmdSet.setEnabled(false);
    w().txtAddr.setText(u"");  // unchanged: no event
    EXPECT_FALSE(w().cmdSet.enabled());
    w().txtAddr.setText(u"15");
    EXPECT_TRUE(w().cmdSet.enabled());
}

TEST_F(Form1Test, UnwritableTraceFileIsOneSentenceInTheTitleAndStartUpRunsOn) {
    gpib().Trace().openFile("/nonexistent/trace.log", "");
    form().load();
    EXPECT_NE(ToUtf8(w().form.title())
                  .find("scripted test driver) \u2014 driver calls are not traced: the file "
                        "/nonexistent/trace.log named by GPIB_TRACE cannot be written"),
              std::string::npos)
        << ToUtf8(w().form.title());
    EXPECT_FALSE(w().txtError.visible());
    EXPECT_FALSE(calls().empty());
}

TEST(Form1DriverProblemTest, MissingEntryPointIsReportedAndNamedInTheTitle) {
    scripted::Reset();
    std::unique_ptr<DriverLibrary> library = DriverLibrary::Open(SCRIPTED_PARTIAL_LIBRARY);
    ASSERT_TRUE(library->Loaded());
    GPIB32 gpib(*library);
    RecordingPlatform platform;
    Form1 form(gpib, platform);
    form.load();  // this driver has no ibask
    Window& w = form.window();
    EXPECT_EQ(
        w.txtError.text().rfind(u"ibask error,  ibsta = &H8000 <  ERR  >, iberr =  0 EDVR", 0), 0u)
        << ToUtf8(w.txtError.text());
    const std::string problem = library->Problem();
    ASSERT_FALSE(problem.empty());
    EXPECT_NE(ToUtf8(w.form.title()).find(problem), std::string::npos);
}

TEST(Form1DriverProblemTest, NoDriverAtAllStillBuildsTheWindow) {
    std::unique_ptr<DriverLibrary> library = DriverLibrary::Open("/nonexistent/libgpib-none.so");
    ASSERT_FALSE(library->Loaded());
    GPIB32 gpib(*library);
    RecordingPlatform platform;
    Form1 form(gpib, platform);
    form.load();
    Window& w = form.window();
    EXPECT_TRUE(w.txtError.visible());
    EXPECT_EQ(w.txtError.text().rfind(u"ibfind error", 0), 0u);
    EXPECT_FALSE(w.cmdSend.enabled());
    EXPECT_TRUE(w.cmdSetIName.enabled());
    EXPECT_NE(ToUtf8(w.form.title()).find(library->Problem()), std::string::npos);
    EXPECT_FALSE(library->Problem().empty());
}

}  // namespace
