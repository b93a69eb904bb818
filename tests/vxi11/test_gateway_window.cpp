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
#include "window_story.h"

namespace {

using windowstory::Story;
using windowstory::tellStory;

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
