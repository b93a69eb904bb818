// The window's whole story on a Prologix board: the bundled driver loaded
// through the real loader, a board map naming the emulated adapter, and the
// operator's hand on a toolkit-free window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "adapters/emulator_process.h"
#include "bundled/gpib_sim.h"
#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "ui/form1.h"
#include "window/recording_platform.h"

namespace {

class AdapterWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(emulator.started());
        const std::string map = scratchPath("boards.yaml");
        std::ofstream(map) << "boards:\n  GPIB0:\n    kind: prologix\n    port: "
                           << emulator.where() << "\n    secondaries: {5: [1]}\n";
        setenv("GPIB_BOARDS", map.c_str(), 1);
        setenv("GPIB_SIM_TRACE", trace.c_str(), 1);
        library = DriverLibrary::Open(SIM_LIBRARY);
        ASSERT_TRUE(library->Loaded()) << library->Problem();
        auto reload = reinterpret_cast<GpibSimReload_fn>(library->Resolve({"GpibSimReload"}));
        ASSERT_TRUE(reload && reload(nullptr) == 0) << library->Description();
        gpib = std::make_unique<GPIB32>(*library);
        form = std::make_unique<Form1>(*gpib, platform);
    }
    void TearDown() override {
        form.reset();
        unsetenv("GPIB_BOARDS");
        unsetenv("GPIB_SIM_TRACE");
        if (library && library->Loaded()) {
            auto reload = reinterpret_cast<GpibSimReload_fn>(library->Resolve({"GpibSimReload"}));
            reload("");  // lets go of the adapter before the emulator stops
        }
    }

    Window& w() { return form->window(); }
    std::string results() { return ToUtf8(w().txtResults.text()); }
    std::string error() { return w().txtError.visible() ? ToUtf8(w().txtError.text()) : ""; }
    void enter(const char16_t* command) {
        w().combCmd.setText(command);
        int16_t enterKey = 13;
        w().combCmd.keyPress.fire(enterKey);
    }
    void address(const char16_t* text) {
        w().txtAddr.setText(text);
        w().cmdSet.press();
    }

    EmulatorProcess emulator{{"--flavour", "prologix", "--bench", ADAPTER_BENCH, "--instant"}};
    const std::string trace = scratchPath("window-trace.txt");
    std::unique_ptr<DriverLibrary> library;
    std::unique_ptr<GPIB32> gpib;
    RecordingPlatform platform;
    std::unique_ptr<Form1> form;
};

TEST_F(AdapterWindowTest, EveryActionDoesOnTheAdapterWhatItDoesOnABoard) {
    form->load();
    EXPECT_EQ(error(), "");
    EXPECT_EQ(results().rfind("FindLstn: Found 4 devices at addresses = ", 0), 0u) << results();
    for (const char* found : {" 501 ", " 7 ", " 9 ", " 12 "})
        EXPECT_NE(results().find(found), std::string::npos) << found << " in " << results();
    // The title and the trace say how the board reads, and why.
    const std::string board = "GPIB0: Prologix GPIB-USB Controller version 6.107 on " +
                              emulator.where() + " (safe: no harmless test read)";
    EXPECT_NE(ToUtf8(w().form.title()).find(board), std::string::npos) << ToUtf8(w().form.title());
    std::ifstream in(trace);
    const std::string traced((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(traced.find("\n# " + board + "\n"), std::string::npos) << traced.substr(0, 2000);

    address(u"9");
    enter(u"*IDN?");
    EXPECT_EQ(results(), "ADAPTER BENCH,METER,1,1.0");

    // A binary answer, read to EOI and shown with its line ends and NUL.
    w().ckLFTerm.setValue(0);
    w().ckDispAll.setValue(1);
    enter(u"BIN?");
    EXPECT_EQ(results().rfind("#213A<cr><lf>B\x1b+C*D", 0), 0u) << results();
    EXPECT_NE(results().find("E<lf>\r\nNull found and converted to '*'"), std::string::npos)
        << results();

    // More than the window's 100 bytes: the rest comes with the next Read.
    w().ckAutoQuery.setValue(0);
    enter(u"LONG?");
    w().cmdRead.press();
    EXPECT_EQ(results().size(), 100u);
    EXPECT_EQ(results().rfind("000,001,", 0), 0u) << results();
    w().cmdRead.press();
    EXPECT_EQ(results(), "025,026,027,028,029,END-OF-THE-LONG-ANSWER-XYZ<lf>");
    EXPECT_EQ(error(), "");

    // The counter requests service when triggered; Find RQS polls the list.
    address(u"12");
    w().cmdTrig.press();
    w().cmdFindRQS.press();
    EXPECT_EQ(results(), "FindRQS: Device found at address  12 with SPoll response =  65");
    w().cmdSPoll.press();
    EXPECT_EQ(error(), "");

    w().cmdIFC.press();
    EXPECT_EQ(error(), "");
    // A Prologix cannot release REN: the driver says so.
    w().ckRen.setValue(0);
    EXPECT_EQ(error().rfind("ibsre Error", 0), 0u) << error();
    EXPECT_NE(error().find("ECAP <No capability>"), std::string::npos) << error();
}

}  // namespace
