// A platform board beside a simulated one in one board map, as the window
// meets them: the bundled driver loaded through the real loader, the platform
// board served by the fake platform library, the operator's hand on a
// toolkit-free window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "bundled/gpib_sim.h"
#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "support/fake_platform.h"
#include "support/scratch_dir.h"
#include "ui/form1.h"
#include "window/recording_platform.h"

namespace {

constexpr int kCic = GPIB_CMPL | GPIB_CIC;

class LibraryWindowTest : public testing::Test {
  protected:
    void start(const std::string& library) {
        const std::string map = testscratch::path("library-boards.yaml");
        std::ofstream(map) << "boards:\n  GPIB0: {kind: library, library: " << library
                           << ", board: 0}\n  GPIB1: {kind: simulated}\n";
        setenv("GPIB_BOARDS", map.c_str(), 1);
        library_ = DriverLibrary::Open(SIM_LIBRARY);
        ASSERT_TRUE(library_->Loaded()) << library_->Problem();
        auto reload = reinterpret_cast<GpibSimReload_fn>(library_->Resolve({"GpibSimReload"}));
        ASSERT_TRUE(reload && reload(nullptr) == 0) << library_->Description();
        gpib = std::make_unique<GPIB32>(*library_);
        form = std::make_unique<Form1>(*gpib, platform);
    }
    void SetUp() override {
        ASSERT_TRUE(fake.loaded());
        fake.reset();
        // The platform board is controller in charge, as after its IFC.
        for (const char* name : {"ibask", "ibsic", "ibsre", "ibtmo", "ibcmd", "ibln"})
            fake.setDefault(name, {.ibsta = kCic});
    }
    void TearDown() override {
        form.reset();
        unsetenv("GPIB_BOARDS");
        if (library_ && library_->Loaded())
            reinterpret_cast<GpibSimReload_fn>(library_->Resolve({"GpibSimReload"}))("");
    }
    Window& w() { return form->window(); }
    std::string results() { return ToUtf8(w().txtResults.text()); }
    std::string error() { return w().txtError.visible() ? ToUtf8(w().txtError.text()) : ""; }
    void ask(const char16_t* address) {
        w().txtAddr.setText(address);
        w().cmdSet.press();
        w().combCmd.setText(u"*IDN?");
        int16_t enter = 13;
        w().combCmd.keyPress.fire(enter);
    }

    fakeplatform::Control fake{FAKE_PLATFORM_LIBRARY};
    std::unique_ptr<DriverLibrary> library_;
    std::unique_ptr<GPIB32> gpib;
    RecordingPlatform platform;
    std::unique_ptr<Form1> form;
};

TEST_F(LibraryWindowTest, ThePlatformBoardServesBesideTheSimulatedOne) {
    // The listener search at start-up: a listener at 9 alone, none elsewhere.
    for (int pad = 1; pad <= 30; ++pad) {
        fake.push("ibln", {.ibsta = kCic, .value = pad == 9});
        if (pad != 9)
            fake.push("ibln", {.ibsta = kCic});
    }
    fake.push("ibln", {.ibsta = kCic, .value = 1});  // Set checks that 9 listens
    fake.push("ibrd", {.ibsta = GPIB_CMPL | GPIB_END, .data = "FAKE,PLATFORM,0,1.0\n"});
    start(FAKE_PLATFORM_LIBRARY);
    form->load();
    EXPECT_EQ(error(), "");
    EXPECT_EQ(results(), "FindLstn: Found 1 device at address =  9 ");
    EXPECT_NE(ToUtf8(w().form.title())
                  .find("GPIB0: platform board 0 of " FAKE_PLATFORM_LIBRARY " (linux-gpib family)"),
              std::string::npos)
        << ToUtf8(w().form.title());

    ask(u"9");
    EXPECT_EQ(results(), "FAKE,PLATFORM,0,1.0");
    const auto calls = fake.calls();
    auto at = std::find(calls.begin(), calls.end(), "ibdev(0, 9, 0, 13, 1, 0)");
    ASSERT_NE(at, calls.end());
    EXPECT_EQ(std::vector<std::string>(at + 1, calls.end()),
              (std::vector<std::string>{"ibtmo(16, 12)", "ibwrt(16, \"*IDN?\\n\")",
                                        "ibeos(16, 0x140A)", "ibrd(16, 100)"}));

    // The simulated board answers on its own bus; the platform hears nothing of it.
    w().combIntfcName.setText(u"GPIB1");
    w().cmdSetIName.press();
    ask(u"3");  // the built-in bench's multimeter on its GPIB1
    EXPECT_EQ(error(), "");
    EXPECT_NE(results().find("DMM-3"), std::string::npos) << results();
    EXPECT_EQ(fake.calls().size(), calls.size());
}

TEST_F(LibraryWindowTest, OurOwnDriverAsThePlatformLibraryIsRefusedInTheTitle) {
    start(SIM_LIBRARY);
    form->load();
    EXPECT_EQ(error().rfind("ibfind error", 0), 0u) << error();
    EXPECT_NE(error().find("ENEB"), std::string::npos) << error();
    EXPECT_NE(ToUtf8(w().form.title())
                  .find("GPIB0: platform board 0: " SIM_LIBRARY " is this program's own driver"),
              std::string::npos)
        << ToUtf8(w().form.title());
    EXPECT_EQ(fake.calls(), std::vector<std::string>{});
}

}  // namespace
