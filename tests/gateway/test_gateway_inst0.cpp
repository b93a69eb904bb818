// The link inst0 without --inst0: the gateway itself, as a client that
// found it on the network meets it. Its answers, its timeout, its lock and
// an abort, each next to a device of the bench that goes on being served.
#include <gtest/gtest.h>
#include <unistd.h>

#include <future>

#include "gateway_under_test.h"
#include "raw_client.h"

namespace {

using gwtest::RawClient;

std::string hostName() {
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    return host;
}

struct Inst0Test : testing::Test {
    GatewayProcess gateway{GATEWAY_EMULATOR, gwtest::options({"--instant"})};
    void SetUp() override { ASSERT_TRUE(gateway.running()) << gateway.line(); }
    void TearDown() override {
        const std::string log = gateway.stop();
        EXPECT_TRUE(gateway.endedCleanly()) << log;
    }
};

TEST_F(Inst0Test, ItNamesTheGatewayAndListsWhatItFoundWhenAsked) {
    RawClient c(gateway.corePort());
    int32_t self = 0, dmm = 0;
    ASSERT_EQ(c.createLink("inst0", self), 0);
    ASSERT_EQ(c.createLink("gpib0,9", dmm), 0);
    EXPECT_EQ(c.query(self, "*IDN?"), "4:Tarvel Morrow,tm-gateway," + hostName() + ",1.0.0\n");
    EXPECT_EQ(c.query(self, "SYST:INT:LIST?"), "4:\"gpib0\",\"gpib1\"\n");
    // Nothing is looked for until someone asks.
    EXPECT_EQ(c.query(self, "SYST:INT:INST:LIST? gpib1"), "4:\"\"\n");
    // The built-in bench's listeners, as the search finds them.
    EXPECT_EQ(c.query(self, "SYST:INT:SEAR \"gpib0\";INST:LIST? \"gpib0\""),
              "4:\"gpib0,5,1\",\"gpib0,7,2\",\"gpib0,9\",\"gpib0,12\"\n");
    EXPECT_EQ(c.query(self, "SYST:INT:INST:LIST? gpib1"), "4:\"\"\n");
    EXPECT_EQ(c.query(dmm, "*IDN?"), "4:SIMULATED BENCH,DMM-9,0001,1.0\n");
    EXPECT_EQ(c.query(self, "*RST;SYST:BEEP", 200), "error 15");  // nothing to say
    EXPECT_EQ(c.query(self, "SYST:ERR?;ERR?;ERR?"),
              "4:-113,\"Undefined header\";-420,\"Query UNTERMINATED\";0,\"No error\"\n");
    // A status byte from the serial poll, as from an instrument: an
    // answer waits (16).
    ASSERT_EQ(c.write(self, "*OPC?\n"), 0);
    gwtest::Reply r = c.call(gwtest::kCore, gwtest::kReadStb, [&](gateway::XdrWriter& w) {
        w.i32(self);
        w.i32(0);
        w.u32(0);
        w.u32(1000);
    });
    gateway::XdrReader x(r.body);
    int32_t error = -1;
    uint32_t stb = 0;
    ASSERT_TRUE(x.i32(error) && x.u32(stb));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(stb, 16u);
    // Bus commands belong to an interface, which the gateway itself is not.
    EXPECT_EQ(RawClient::errorOf(c.call(gwtest::kCore, gwtest::kDocmd,
                                        [&](gateway::XdrWriter& w) {
                                            w.i32(self);
                                            w.i32(0);
                                            w.u32(0);
                                            w.u32(1000);
                                            w.i32(0x020001);
                                            w.boolean(true);
                                            w.i32(2);
                                            w.opaque(std::string("\0\1", 2));
                                        })),
              8);
}

TEST_F(Inst0Test, AReadWithNothingToSayEndsAtItsTimeoutOrAnAbort) {
    RawClient c(gateway.corePort()), other(gateway.corePort());
    int32_t self = 0, dmm = 0;
    uint32_t abortPort = 0;
    ASSERT_EQ(c.createLink("inst0", self, false, 0, &abortPort), 0);
    ASSERT_EQ(other.createLink("gpib0,9", dmm), 0);
    int64_t began = net::monotonicUs();
    EXPECT_EQ(c.read(self, 100, 300), "error 15");
    const int64_t waitedMs = (net::monotonicUs() - began) / 1000;
    EXPECT_GE(waitedMs, 290);
    EXPECT_LT(waitedMs, 2000);
    // A long read, ended from the abort channel; a device of the bench is
    // served while it waits.
    auto waiting =
        std::async(std::launch::async, [&] { return c.read(self, 100, 60'000, -1, 10'000); });
    EXPECT_EQ(other.query(dmm, "*IDN?"), "4:SIMULATED BENCH,DMM-9,0001,1.0\n");
    RawClient abort{int(abortPort)};
    // An abort that comes before the read waits finds nothing to end: it is
    // sent again until the read has ended.
    began = net::monotonicUs();
    for (int i = 0;
         i < 20 && waiting.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready;
         ++i) {
        EXPECT_EQ(abort.onLink(gwtest::kAbort, self, 5000, gwtest::kAsync), 0);
        waiting.wait_for(std::chrono::milliseconds(200));
    }
    EXPECT_EQ(waiting.get(), "error 23");
    EXPECT_LT((net::monotonicUs() - began) / 1000, 5000);
    EXPECT_EQ(c.query(self, "*OPC?"), "4:1\n");
}

TEST_F(Inst0Test, ItsLockKeepsOtherClientsOutAndAFloodLeavesItWorking) {
    RawClient holder(gateway.corePort()), other(gateway.corePort());
    int32_t mine = 0, theirs = 0;
    ASSERT_EQ(holder.createLink("inst0", mine), 0);
    ASSERT_EQ(other.createLink("INST0", theirs), 0);
    ASSERT_EQ(holder.lock(mine), 0);
    EXPECT_EQ(other.write(theirs, "*IDN?\n"), 11);
    EXPECT_EQ(holder.onLink(gwtest::kUnlock, mine), 0);
    // A message far longer than it keeps, in the largest writes it takes,
    // then one it answers.
    const std::string junk(200 * 1024, 'x');
    for (int i = 0; i < 3; ++i) EXPECT_EQ(other.write(theirs, junk, 2000, 0), 0) << i;
    EXPECT_EQ(other.query(theirs, "", 200), "error 15");  // the flood's end: thrown away
    EXPECT_EQ(other.query(theirs, "SYST:ERR?"), "4:-363,\"Input buffer overrun\"\n");
    EXPECT_EQ(holder.query(mine, "*IDN?").substr(0, 26), "4:Tarvel Morrow,tm-gateway");
}

}  // namespace
