// tm-gateway serving Prologix adapters read the fast and the safe way, whose
// bytes come up to 120 ms late: a client's reads to the termination byte,
// one after another a little apart, are every one exact, and a read of a
// silent address ends in error 15 at the client's io_timeout.
//
// TM_EXACT_QUERIES, TM_EXACT_GAP_MS and TM_EXACT_JITTER_MS make it the long
// run (1000 queries 50 ms apart, with or without late bytes) instead of the
// lean one CI makes; TM_GATEWAY_PROGRAM runs it
// against another build of tm-gateway (an older one knows no reads: key, and
// reads both boards its one way).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "adapters/emulator_process.h"
#include "gateway_under_test.h"
#include "raw_client.h"

namespace {

using gwtest::RawClient;

int setting(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

TEST(GatewayAdapterReads, TerminationByteReadsAreExactAndATimeoutIsTheClients) {
    const char* other = std::getenv("TM_GATEWAY_PROGRAM");
    const std::string program = other && *other ? other : TM_GATEWAY;
    std::vector<std::unique_ptr<EmulatorProcess>> adapters;
    std::string map = "boards:\n";
    const std::string jitter = std::to_string(setting("TM_EXACT_JITTER_MS", 120));
    for (const char* reads : {"fast", "safe"}) {
        adapters.push_back(std::make_unique<EmulatorProcess>(
            std::vector<std::string>{"--flavour", "prologix", "--bench", EXACT_BENCH, "--instant",
                                     "--tcp", "0", "--jitter", jitter, "--seed", "4"}));
        ASSERT_TRUE(adapters.back()->started());
        map += "  GPIB" + std::to_string(adapters.size() - 1) +
               ": {kind: prologix, host: 127.0.0.1, tcp_port: " + adapters.back()->where() +
               (program == TM_GATEWAY ? std::string(", reads: ") + reads : "") + "}\n";
    }
    const std::string mapFile = scratchPath("adapter_reads.yaml");
    std::ofstream(mapFile) << map;
    GatewayProcess gateway(program, gwtest::options({"--boards", mapFile}));
    ASSERT_TRUE(gateway.running()) << gateway.line() << gateway.stop();

    const int queries = setting("TM_EXACT_QUERIES", 40), gapMs = setting("TM_EXACT_GAP_MS", 20);
    for (const char* device : {"gpib0,9", "gpib1,9"}) {
        RawClient c(gateway.corePort());
        int32_t lid = 0;
        ASSERT_EQ(c.createLink(device, lid), 0) << device;
        int exact = 0;
        for (int i = 0; i < queries; ++i) {
            ASSERT_EQ(c.write(lid, "*IDN?\n", 3000), 0) << device << " query " << i;
            const std::string got = c.read(lid, 256, 3000, '\n');
            // CHR, with END beside it once its mark has come.
            const bool ok =
                got == "2:ADAPTER BENCH,METER,1,1.0\n" || got == "6:ADAPTER BENCH,METER,1,1.0\n";
            EXPECT_TRUE(ok) << device << " query " << i << ": " << got;
            exact += ok;
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        }
        EXPECT_EQ(exact, queries) << device;
        std::printf("%s: %d of %d answers exact, %d ms apart\n", device, exact, queries, gapMs);
        // Nobody at 3: the client's 1.5 s, not the adapter's or a timeout code's.
        int32_t nobody = 0;
        ASSERT_EQ(c.createLink(std::string(device).substr(0, 5) + ",3", nobody), 0);
        const int64_t start = net::monotonicUs();
        EXPECT_EQ(c.read(nobody, 64, 1500), "error 15") << device;
        const int64_t ms = (net::monotonicUs() - start) / 1000;
        EXPECT_GE(ms, 1500) << device;
        EXPECT_LT(ms, 1650) << device;
    }
    const std::string log = gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << log;
}

}  // namespace
