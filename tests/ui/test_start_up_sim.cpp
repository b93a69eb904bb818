// Start-up end to end on the built-in simulated bench, reached through the
// real loader like any driver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "ui/form1.h"
#include "window/recording_platform.h"

namespace {

TEST(StartUpOnSimulatedBenchTest, ReachesReadyAndListsTheBenchListeners) {
    setenv("GPIB_SIM_INSTANT", "1", 0);
    unsetenv("GPIB_SIM_BENCH");  // the built-in bench
    std::unique_ptr<DriverLibrary> library = DriverLibrary::Open(SIM_LIBRARY);
    ASSERT_TRUE(library->Loaded()) << library->Problem();
    GPIB32 gpib(*library);
    RecordingPlatform platform;
    Form1 form(gpib, platform);
    form.load();
    Window& w = form.window();

    EXPECT_FALSE(w.txtError.visible()) << ToUtf8(w.txtError.text());
    EXPECT_EQ(w.txtCtlrAddr.text(), u" 0");
    EXPECT_EQ(w.vtmo, 12);
    EXPECT_EQ(w.optTMO.selected(), 3);
    EXPECT_TRUE(w.frmTimeout.enabled());
    for (Button* b : w.operatingButtons()) {
        const bool stop = b == &w.cmdIDNtstoff || b == &w.cmdCmdtstoff;
        EXPECT_EQ(b->enabled(), !stop) << b->name();
    }

    const std::string results = ToUtf8(w.txtResults.text());
    EXPECT_EQ(results.rfind("FindLstn: Found", 0), 0u) << results;
    for (const char* address : {" 9 ", " 501 ", " 702 "}) {
        EXPECT_NE(results.find(address), std::string::npos) << address << " in " << results;
    }
    EXPECT_NE(results.find("\r\nMultiple devices found! Enter correct device address and press "
                           "SET button."),
              std::string::npos)
        << results;
    EXPECT_EQ(w.FoundFlg, 1);
    EXPECT_GE(w.FoundNum, 3);
    EXPECT_EQ(w.txtAddr.text(), PlainDecimal(static_cast<long long>(w.founddev)));
    EXPECT_EQ(w.Device, w.founddev);
    EXPECT_EQ(gpib.DevAddr, w.FoundList[0]);
    EXPECT_EQ(w.FoundList[static_cast<size_t>(w.FoundNum)], -1);
    EXPECT_NE(ToUtf8(w.form.title()).find(library->Description()), std::string::npos);
}

}  // namespace
