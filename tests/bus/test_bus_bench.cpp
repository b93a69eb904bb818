// The controller and the bus on the simulated bench, end to end through the
// real loader: switching boards as an operator would, the 488.1 commands, and
// the polls finding an instrument that requests service after a trigger.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "bundled/gpib_sim.h"
#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "ui/form1.h"
#include "window/recording_platform.h"

namespace {

constexpr int16_t kTimeoutOption = 3;  // ibask: the descriptor's timeout code
constexpr int16_t kAddressOption = 1;  // ibask: its primary address

class BusBenchTest : public ::testing::Test {
  protected:
    // Serves bench (a file under the test benches, or "" for the built-in
    // one) to a fresh window, and runs start-up.
    void serve(const std::string& bench) {
        const std::string path = SIM_LIBRARY;
        if (path.empty()) {
            GTEST_SKIP() << "the simulated bench (target tm-gpib) is not part of this build";
        }
        setenv("GPIB_SIM_INSTANT", "1", 0);
        m_library = DriverLibrary::Open(path);
        ASSERT_TRUE(m_library->Loaded()) << m_library->Problem();
        auto reload = reinterpret_cast<GpibSimReload_fn>(m_library->Resolve({"GpibSimReload"}));
        ASSERT_NE(reload, nullptr);
        const std::string file = bench.empty() ? bench : std::string(BUS_BENCHES) + "/" + bench;
        ASSERT_EQ(reload(file.c_str()), 0) << m_library->Description();
        m_gpib = std::make_unique<GPIB32>(*m_library);
        m_form = std::make_unique<Form1>(*m_gpib, platform);
        m_form->load();
    }

    Window& w() { return m_form->window(); }
    GPIB32& gpib() { return *m_gpib; }
    std::string results() { return ToUtf8(w().txtResults.text()); }
    std::string error() { return w().txtError.visible() ? ToUtf8(w().txtError.text()) : ""; }

    void choose(const char16_t* name) {
        w().combIntfcName.setText(name);
        w().cmdSetIName.press();
    }
    // What the board's timeout is now, as the driver has it.
    int boardTimeout() {
        int16_t code = -1;
        gpib().ibask(w().bud, kTimeoutOption, code);
        return code;
    }

    RecordingPlatform platform;

  private:
    std::unique_ptr<DriverLibrary> m_library;
    std::unique_ptr<GPIB32> m_gpib;
    std::unique_ptr<Form1> m_form;
};

// A status report under heading that names the driver error iberr.
::testing::AssertionResult reports(const std::string& text, const std::string& heading,
                                   const std::string& iberr) {
    if (text.rfind(heading + ",  ibsta = &H", 0) == 0 && text.find(iberr) != std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "\"" << text << "\" is no " << heading << " report with " << iberr;
}

TEST_F(BusBenchTest, OperatorSwitchesBoards) {
    serve("three_boards.yaml");
    EXPECT_TRUE(reports(error(), "ibfind error", "ENEB"));
    EXPECT_FALSE(w().cmdSetCtlr.enabled());

    w().cmdSetIName.press();  // GPIB0 is the board already chosen
    EXPECT_TRUE(reports(error(), "ibfind error", "ENEB"));
    EXPECT_EQ(results(), "");

    choose(u"GPIB1");
    EXPECT_TRUE(reports(error(), "ibfind error", "ENEB"));
    EXPECT_EQ(results(), "Selected GPIB Controller not found\r\nSelect another Controller Name");

    choose(u"GPIB0");
    EXPECT_EQ(error(), "");
    EXPECT_EQ(results(),
              "FindLstn: Found 2 devices at addresses =  501  9 \r\n"
              "Multiple devices found! Enter correct device address and press SET button.");
    EXPECT_EQ(w().optTMO.selected(), 3);
    EXPECT_EQ(boardTimeout(), 12);
    EXPECT_EQ(gpib().DevAddr, 24837);
    EXPECT_TRUE(w().cmdSetCtlr.enabled());
    EXPECT_FALSE(w().cmdIDNtstoff.enabled());
}

TEST_F(BusBenchTest, TriggeredInstrumentRequestsServiceUntilPolled) {
    serve("three_boards.yaml");
    w().optTMO(4).setValue(true);  // 10 s, which the selection undoes
    choose(u"gpib2");
    ASSERT_EQ(w().FoundFlg, 1) << results();
    EXPECT_EQ(gpib().BoardIndex, 2);
    EXPECT_EQ(w().txtAddr.text(), u"4");
    EXPECT_EQ(w().optTMO.selected(), 3);
    EXPECT_EQ(boardTimeout(), 12);

    w().cmdAllPoll.press();
    EXPECT_EQ(results(), "All Serial Poll: Response = Inst 4, 0");
    w().cmdFindRQS.press();
    EXPECT_EQ(results(), "FindRQS: SRQ not asserted - no devices polled");

    w().cmdTrig.press();
    EXPECT_EQ(results(), "GET sent to device 4");
    w().cmdAllPoll.press();
    EXPECT_EQ(results(), "All Serial Poll: Response = Inst 4, 64");
    EXPECT_EQ(boardTimeout(), 12);
    w().cmdAllPoll.press();
    EXPECT_EQ(results(), "All Serial Poll: Response = Inst 4, 0");

    w().cmdTrig.press();
    w().cmdFindRQS.press();
    EXPECT_EQ(error(), "");
    EXPECT_EQ(results(), "FindRQS: Device found at address  4 with SPoll response =  64");
    EXPECT_EQ(platform.repaints.back(), "txtResults: FindRQS:Wait while polling devices");
    EXPECT_EQ(boardTimeout(), 12);
    w().cmdFindRQS.press();
    EXPECT_EQ(results(), "FindRQS: SRQ not asserted - no devices polled");

    w().cmdTrig.press();
    w().cmdSPoll.press();
    EXPECT_EQ(results(), "Serial poll response for device 4 =  64");
    w().cmdSPoll.press();
    EXPECT_EQ(results(), "Serial poll response for device 4 =  0");

    w().txtCtlrAddr.setText(u"21");
    w().cmdSetCtlr.press();
    EXPECT_TRUE(reports(error(), "ibpad error", "EARG"));
    EXPECT_EQ(results(), "");
    w().cmdSetCtlr.press();
    EXPECT_EQ(error(), "");
    EXPECT_EQ(results(), "Controller Address => 21");
    int16_t pad = -1;
    gpib().ibask(w().bud, kAddressOption, pad);
    EXPECT_EQ(pad, 21);
}

TEST_F(BusBenchTest, BuiltInBenchPollsEveryInstrument) {
    serve("");
    ASSERT_EQ(error(), "");
    w().cmdAllPoll.press();
    EXPECT_EQ(results(),
              "All Serial Poll: Responses = Inst 24837, 0; Inst 25095, 0; Inst 9, 0; Inst 12, 0");

    w().txtAddr.setText(u"12");
    w().cmdSet.press();
    w().cmdTrig.press();
    EXPECT_EQ(results(), "GET sent to device 12");
    w().cmdFindRQS.press();
    EXPECT_EQ(results(), "FindRQS: Device found at address  12 with SPoll response =  65");
    w().cmdDevClr.press();
    EXPECT_EQ(results(), "Selected Device Clear sent to device 12");

    // Interface clear stops both loops.
    w().cmdIDNtst.press();
    w().combCmd.setText(u"ID");
    w().cmdCmdtst.press();
    ASSERT_EQ(w().IDNTestFlg + w().CMDloopFlg, 2);
    w().cmdIFC.press();
    EXPECT_EQ(error(), "");
    EXPECT_EQ(results(), "Interface Clear sent");
    EXPECT_EQ(w().IDNTestFlg + w().CMDloopFlg, 0);
    EXPECT_TRUE(w().cmdIDNtst.enabled());
    EXPECT_TRUE(w().cmdCmdtst.enabled());
    EXPECT_FALSE(w().cmdIDNtstoff.enabled());
    EXPECT_FALSE(w().cmdCmdtstoff.enabled());
    EXPECT_FALSE(w().txtCount.visible());
}

TEST_F(BusBenchTest, EachFailureIsReportedAndTheNextPressWorks) {
    serve("poll_faults.yaml");
    ASSERT_EQ(results(), "FindLstn: Found 1 device at address =  12 ");

    w().cmdTrig.press();
    EXPECT_TRUE(reports(error(), "Trigger Error", "ENOL"));
    w().cmdTrig.press();
    EXPECT_EQ(error(), "");
    EXPECT_EQ(results(), "GET sent to device 12");

    w().cmdAllPoll.press();
    EXPECT_TRUE(reports(error(), "AllSpoll error", "EABO"));
    EXPECT_EQ(results(), "All Serial Poll: Polling All devices");
    EXPECT_EQ(boardTimeout(), 12);

    w().cmdFindRQS.press();
    EXPECT_TRUE(reports(error(), "FindRQS Error", "ETAB"));
    EXPECT_EQ(results(), "");
    EXPECT_EQ(boardTimeout(), 12);
    w().cmdFindRQS.press();
    EXPECT_EQ(results(), "FindRQS: Device found at address  12 with SPoll response =  65");

    w().cmdSPoll.press();
    EXPECT_TRUE(reports(error(), "SPoll Error", "EABO"));
    w().cmdTrig.press();
    w().cmdSPoll.press();
    EXPECT_EQ(results(), "Serial poll response for device 12 =  65");

    w().cmdDevClr.press();
    EXPECT_TRUE(reports(error(), "DevCLr Error", "ENOL"));
    w().cmdDevClr.press();
    EXPECT_EQ(results(), "Selected Device Clear sent to device 12");

    w().cmdIFC.press();
    EXPECT_TRUE(reports(error(), "SendIFC Error", "ESAC"));
    w().cmdIFC.press();
    EXPECT_EQ(error(), "");
    EXPECT_EQ(results(), "Interface Clear sent");
}

}  // namespace
