// The adapter kind as a linux-gpib program meets it through libgpib.so.0:
// queries read to the termination byte, one after another a little apart,
// while the adapter's bytes come up to 120 ms late: every answer exact, END
// set, no byte of one answer in the next. A read that times out after part
// of an answer counts what it took.
//
// TM_EXACT_QUERIES, TM_EXACT_GAP_MS and TM_EXACT_JITTER_MS make it the long
// run (1000 queries 50 ms apart, with or without late bytes) instead of the
// lean one CI makes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "adapters/emulator_process.h"
#include "gpib/ib.h"

extern "C" int GpibSimReload(const char* benchPathOrNull);

namespace {

int setting(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

class AdapterThroughLibgpib : public testing::TestWithParam<const char*> {
  protected:
    void TearDown() override {
        unsetenv("GPIB_BOARDS");
        GpibSimReload("");
    }
};

TEST_P(AdapterThroughLibgpib, TerminationByteQueriesAreExactWhileTheAdaptersBytesComeLate) {
    const std::string flavour = GetParam();
    const std::string jitter = std::to_string(setting("TM_EXACT_JITTER_MS", 120));
    EmulatorProcess adapter({"--flavour", flavour, "--bench", EXACT_BENCH, "--instant", "--jitter",
                             jitter, "--seed", "9", "--link", scratchPath(flavour + ".tty")});
    ASSERT_TRUE(adapter.started());
    const std::string map = scratchPath(flavour + ".yaml");
    std::ofstream(map) << "boards:\n  GPIB0: {kind: " << flavour << ", port: " << adapter.where()
                       << "}\n";
    setenv("GPIB_BOARDS", map.c_str(), 1);
    ASSERT_EQ(GpibSimReload(nullptr), 0);

    const int queries = setting("TM_EXACT_QUERIES", 40), gapMs = setting("TM_EXACT_GAP_MS", 20);
    // Reads end at LF (REOS, byte 10), as ibeos 0x40A asks.
    const int meter = ibdev(0, 9, 0, T3s, 1, 0x40A);
    ASSERT_GE(meter, 0) << ThreadIberr();
    int exact = 0;
    for (int i = 0; i < queries; ++i) {
        char answer[100];
        ibwrt(meter, "*IDN?\n", 6);
        ibrd(meter, answer, sizeof answer);
        const std::string got(answer, size_t(std::max(0L, ThreadIbcntl())));
        const bool ok =
            !(ThreadIbsta() & ERR) && (ThreadIbsta() & END) && got == "ADAPTER BENCH,METER,1,1.0\n";
        EXPECT_TRUE(ok) << "query " << i << ": \"" << got << "\", ibsta " << ThreadIbsta();
        exact += ok;
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
    }
    EXPECT_EQ(exact, queries);
    std::printf("%s: %d of %d answers exact, %d ms apart\n", flavour.c_str(), exact, queries,
                gapMs);

    // An instrument that answers without EOI, read without a termination
    // byte: the read times out with the 13 bytes it took in ibcntl.
    const int plain = ibdev(0, 7, 0, T1s, 1, 0);
    char answer[100];
    ibwrt(plain, "*IDN?\n", 6);
    ibrd(plain, answer, sizeof answer);
    EXPECT_EQ(ThreadIbsta() & (ERR | TIMO), ERR | TIMO);
    EXPECT_EQ(ThreadIberr(), EABO);
    EXPECT_EQ(ThreadIbcntl(), 13);
    EXPECT_EQ(std::string(answer, 13), "PLAIN,NO EOI\n");
    ibonl(plain, 0);
    ibonl(meter, 0);
}

INSTANTIATE_TEST_SUITE_P(Flavours, AdapterThroughLibgpib, testing::Values("prologix", "ar488"));

}  // namespace
