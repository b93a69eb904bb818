// The window's whole story on a gateway board, toolkit-free, through the real
// bundled library: a board map names the emulated gateway, which serves the
// built-in bench. Every step must show what the same step shows on the
// built-in simulated bench itself, text for text.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bundled/gpib_sim.h"
#include "gateway_process.h"
#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "ui/form1.h"
#include "window/recording_platform.h"

namespace {

struct Story {
    std::vector<std::string> shown;  // results and error after each step
    std::string title;
};

// Start-up with its listener search, *IDN? with Auto Query, a serial poll,
// Find RQS after a trigger, all polls, a device clear, REN off and on, IFC.
Story tellStory(DriverLibrary& library) {
    GPIB32 gpib(library);
    RecordingPlatform platform;
    Form1 form(gpib, platform);
    Window& w = form.window();
    Story story;
    auto step = [&](const char* name) {
        story.shown.push_back(std::string(name) + ": " + ToUtf8(w.txtResults.text()) + " | " +
                              (w.txtError.visible() ? ToUtf8(w.txtError.text()) : ""));
    };
    form.load();
    story.title = ToUtf8(w.form.title());
    step("start-up");
    w.txtAddr.setText(u"9");
    w.cmdSet.press();
    step("set 9");
    w.ckAutoQuery.setValue(true);
    w.combCmd.setText(u"*IDN?");
    int16_t enter = 13;
    w.combCmd.keyPress.fire(enter);
    step("*IDN?");
    w.cmdSPoll.press();
    step("serial poll");
    w.txtAddr.setText(u"12");
    w.cmdSet.press();
    w.cmdTrig.press();
    step("trigger 12");
    w.cmdFindRQS.press();
    step("find RQS");
    w.cmdAllPoll.press();
    step("all polls");
    w.cmdDevClr.press();
    step("device clear");
    w.ckRen.setValue(false);
    step("REN off");
    w.ckRen.setValue(true);
    step("REN on");
    w.cmdIFC.press();
    step("IFC");
    return story;
}

TEST(GatewayWindowTest, TheWholeStoryOnAGatewayIsTheStoryOnTheBench) {
    std::unique_ptr<DriverLibrary> library = DriverLibrary::Open(SIM_LIBRARY);
    ASSERT_TRUE(library->Loaded()) << library->Problem();
    auto reload = reinterpret_cast<GpibSimReload_fn>(library->Resolve({"GpibSimReload"}));
    ASSERT_NE(reload, nullptr);

    ASSERT_EQ(reload(""), 0) << library->Description();  // the built-in bench
    const Story bench = tellStory(*library);

    GatewayProcess gateway(GATEWAY_EMULATOR, {"--instant", "--no-portmapper"});
    ASSERT_TRUE(gateway.running()) << gateway.line();
    const auto map = std::filesystem::temp_directory_path() /
                     ("tm-gateway-" + std::to_string(getpid()) + ".yaml");
    std::ofstream(map) << "boards:\n  GPIB0:\n    kind: vxi11\n    host: 127.0.0.1\n"
                          "    interface: gpib0\n    core_port: "
                       << gateway.corePort() << "\n    controller_address: 0\n";
    setenv("GPIB_BOARDS", map.c_str(), 1);
    const int loaded = reload(nullptr);
    unsetenv("GPIB_BOARDS");
    std::filesystem::remove(map);
    ASSERT_EQ(loaded, 0) << library->Description();
    const Story onGateway = tellStory(*library);
    reload("");
    gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << gateway.stop();

    EXPECT_NE(onGateway.title.find("GPIB0: VXI-11 gateway 127.0.0.1, interface gpib0, connected"),
              std::string::npos)
        << onGateway.title;
    ASSERT_EQ(onGateway.shown.size(), bench.shown.size());
    for (size_t i = 0; i < bench.shown.size(); ++i) EXPECT_EQ(onGateway.shown[i], bench.shown[i]);
    // What the story is about, so that two equally wrong runs cannot pass.
    EXPECT_EQ(bench.shown[2], "*IDN?: SIMULATED BENCH,DMM-9,0001,1.0 | ");
    EXPECT_EQ(bench.shown[5],
              "find RQS: FindRQS: Device found at address  12 with SPoll response =  65 | ");
}

}  // namespace
