// The window's whole story through the chain window -> vxi11 board ->
// tm-gateway -> prologix board -> tm-adapter-emulator: every step shows what
// the same step shows with the window on that Prologix board itself, text
// for text (the listener search included, which the gateway answers from the
// adapter's own listener check, since a Prologix puts no command bytes on
// the bus).
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>

#include "adapters/emulator_process.h"
#include "gateway_process.h"
#include "window_story.h"

namespace {

std::string prologixMap(const EmulatorProcess& adapter) {
    return "boards:\n  GPIB0:\n    kind: prologix\n    host: 127.0.0.1\n    tcp_port: " +
           adapter.where() + "\n    secondaries: {5: [1], 7: [2]}\n";
}

// The one bit the two boards show apart: ATN, which the gateway kind shows
// as its own calls leave it and a Prologix board never shows. Taken out of
// the status texts of both.
std::string withoutAtn(std::string text) {
    std::smatch m;
    if (std::regex_search(text, m, std::regex("ibsta = &H([0-9A-F]+)"))) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", std::stoi(m[1], nullptr, 16) & ~0x10);
        text.replace(size_t(m.position(1)), size_t(m.length(1)), hex);
    }
    return std::regex_replace(text, std::regex(" ATN "), " ");
}

std::vector<std::string> adapterOptions() {
    return {"--flavour", "prologix", "--instant", "--tcp", "0"};
}

TEST(GatewayChainTest, TheStoryThroughTheGatewayIsTheStoryOnThePrologixItself) {
    std::unique_ptr<DriverLibrary> library = DriverLibrary::Open(SIM_LIBRARY);
    ASSERT_TRUE(library->Loaded()) << library->Problem();
    auto reload = reinterpret_cast<GpibSimReload_fn>(library->Resolve({"GpibSimReload"}));
    ASSERT_NE(reload, nullptr);

    EmulatorProcess direct(adapterOptions());
    ASSERT_TRUE(direct.started());
    ASSERT_EQ(windowstory::loadMap(reload, prologixMap(direct), scratchPath("direct.yaml")), 0)
        << library->Description();
    const windowstory::Story onAdapter = windowstory::tellStory(*library);
    reload("");

    EmulatorProcess behind(adapterOptions());
    ASSERT_TRUE(behind.started());
    const std::string gatewayMap = scratchPath("gateway.yaml");
    std::ofstream(gatewayMap) << prologixMap(behind);
    GatewayProcess gateway(TM_GATEWAY, {"--no-portmapper", "--boards", gatewayMap});
    ASSERT_TRUE(gateway.running()) << gateway.line() << gateway.stop();
    ASSERT_EQ(windowstory::loadMap(reload,
                                   "boards:\n  GPIB0: {kind: vxi11, host: 127.0.0.1, interface: "
                                   "gpib0, core_port: " +
                                       std::to_string(gateway.corePort()) + "}\n",
                                   scratchPath("window.yaml")),
              0)
        << library->Description();
    const windowstory::Story throughGateway = windowstory::tellStory(*library);
    reload("");
    const std::string log = gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << log;

    EXPECT_NE(throughGateway.title.find("GPIB0: VXI-11 gateway 127.0.0.1, interface gpib0"),
              std::string::npos)
        << throughGateway.title;
    ASSERT_EQ(throughGateway.shown.size(), onAdapter.shown.size());
    for (size_t i = 0; i < onAdapter.shown.size(); ++i)
        EXPECT_EQ(withoutAtn(throughGateway.shown[i]), withoutAtn(onAdapter.shown[i]));
    // What the story is about, so that two equally wrong runs cannot pass.
    EXPECT_EQ(onAdapter.shown[0].rfind("start-up: FindLstn: Found 4 devices at addresses = ", 0),
              0u)
        << onAdapter.shown[0];
    EXPECT_EQ(onAdapter.shown[2], "*IDN?: SIMULATED BENCH,DMM-9,0001,1.0 | ");
    EXPECT_NE(onAdapter.shown[8].find("ECAP"), std::string::npos) << onAdapter.shown[8];  // REN off
}

}  // namespace
