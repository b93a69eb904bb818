// An adapter plugged in without a board map: the one whose stable device
// name says Prologix, and that answers like one, becomes GPIB0; a serial
// device of any other name is never written to.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "adapters/emulator_process.h"
#include "bundled/gpib_sim.h"
#include "gpib/driver_library.h"
#include "gpib/gpib32.h"

namespace {

namespace fs = std::filesystem;

TEST(AdapterDiscovery, APrologixByItsNameBecomesGpib0AndNothingElseIsTouched) {
    if (fs::exists("/etc/tarvel-morrow/boards.yaml"))
        GTEST_SKIP() << "this machine has a board map in /etc, which would be served instead";
    EmulatorProcess prologix{{"--flavour", "prologix", "--instant"}};
    EmulatorProcess other{{"--flavour", "prologix", "--instant", "--count-lines"}};
    ASSERT_TRUE(prologix.started() && other.started());
    const fs::path byId = scratchPath("by-id");
    fs::remove_all(byId);
    fs::create_directories(byId);
    const fs::path named = byId / "usb-Prologix_Prologix_GPIB-USB_Controller_PX9XYZ-if00-port0";
    fs::create_symlink(prologix.where(), named);
    fs::create_symlink(other.where(), byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    const std::string home = scratchPath("home");
    fs::create_directories(home);
    unsetenv("GPIB_BOARDS");
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    setenv("GPIB_SERIAL_BY_ID", byId.c_str(), 1);

    auto library = DriverLibrary::Open(SIM_LIBRARY);
    ASSERT_TRUE(library->Loaded()) << library->Problem();
    auto reload = reinterpret_cast<GpibSimReload_fn>(library->Resolve({"GpibSimReload"}));
    ASSERT_NE(reload, nullptr);
    ASSERT_EQ(reload(nullptr), 0) << library->Description();
    GPIB32 gpib(*library);
    EXPECT_EQ(gpib.ibfind(u"GPIB0"), 0) << gpib.iberr;
    EXPECT_NE(library->Description().find("adapter recognised at " + named.string() +
                                          "; GPIB0: Prologix GPIB-USB Controller version 6.107"),
              std::string::npos)
        << library->Description();
    Text q = u"*IDN?\n";
    gpib.Send(0, 9, q, GPIB_DABend);
    Text answer(60, u' ');
    gpib.Receive(0, 9, answer, GPIB_STOPend);
    EXPECT_EQ(gpib.ibsta & (GPIB_ERR | GPIB_END), GPIB_END);
    EXPECT_EQ(ToUtf8(answer).rfind("SIMULATED BENCH,DMM-9", 0), 0u) << ToUtf8(answer);
    // The built-in bench's second board is not there: only the adapter is.
    EXPECT_EQ(gpib.ibfind(u"GPIB1"), -1);

    reload("");  // lets go of the adapter before the emulators stop
    unsetenv("GPIB_SERIAL_BY_ID");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(other.stop(), "lines: \n");
}

}  // namespace
