// inst0 as the gateway itself: what a client that found the gateway asks
// it, answered as a small IEEE 488.2 instrument would, through the board
// operations the gateway's core calls.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "gateway/gateway_identity.h"
#include "net/monotonic.h"

namespace {

using gateway::GatewayIdentity;
using gateway::InterfaceView;
using gpibdrv::EndMode;
using gpibdrv::Timeout;

struct IdentityTest : testing::Test {
    GatewayIdentity inst{{"Tarvel Morrow", "tm-gateway", "lab,pc", "1.0.0"},
                         [this] {
                             ++interfaceLooks;
                             return interfaces;
                         },
                         [this](const std::string& link, int64_t deadlineUs) {
                             searches.push_back(link);
                             searchDeadlines.push_back(deadlineUs);
                             return link == "gpib1" ? "the board is not there" : "";
                         }};
    std::vector<std::string> searches;
    std::vector<int64_t> searchDeadlines;
    std::vector<InterfaceView> interfaces = {
        {"gpib0", "Prologix GPIB-USB on /dev/ttyUSB0", {"gpib0,9", "gpib0,5,1"}},
        {"gpib1", "not open: unplugged", {}}};
    int interfaceLooks = 0;

    void send(std::string_view text, EndMode end = EndMode::EoiOnLast) {
        long sent = 0;
        ASSERT_EQ(inst.send({0, -1}, text.data(), long(text.size()), end, {}, sent),
                  gpibdrv::kDone);
        ASSERT_EQ(sent, long(text.size()));
    }
    // What a read says; "timeout" when it has nothing to say.
    std::string read(long count = 4096, int64_t timeoutUs = 20'000, int* ended = nullptr) {
        std::string out(size_t(count), '\0');
        long got = 0;
        int end = 0;
        const int err =
            inst.receive({0, -1}, out.data(), count, -1, Timeout::ofUs(timeoutUs), got, end);
        if (ended)
            *ended = end;
        return err == GPIB_EABO ? "timeout" : out.substr(0, size_t(got));
    }
    std::string query(std::string_view text) {
        send(text);
        return read();
    }
};

TEST_F(IdentityTest, QueriesAreAnsweredAsAnInstrumentAnswersThem) {
    const struct {
        const char* message;
        const char* answer;
    } rows[] = {
        // A comma inside a field would make a fifth field.
        {"*IDN?\n", "Tarvel Morrow,tm-gateway,lab-pc,1.0.0\n"},
        {"*idn?", "Tarvel Morrow,tm-gateway,lab-pc,1.0.0\n"},
        {"SYSTem:INTerface:LIST?", "\"gpib0\",\"gpib1\"\n"},
        {"syst:int:inst:list? \"GPIB0\"", "\"gpib0,9\",\"gpib0,5,1\"\n"},
        {"SYST:INT:INST:LIST? gpib1", "\"\"\n"},
        {"SYST:INT:DESC? 'gpib1'", "\"not open: unplugged\"\n"},
        // A path after ';' goes on from the one before it.
        {":SYST:INT:LIST?;INST:LIST? gpib0", "\"gpib0\",\"gpib1\";\"gpib0,9\",\"gpib0,5,1\"\n"},
        {"SYST:ERR?", "0,\"No error\"\n"},
        {"SYSTEM:ERROR:NEXT?", "0,\"No error\"\n"},
        {"SYST:VERS?;*OPC?;*TST?", "1999.0;1;0\n"},
        {"*ESE 36;*ESE?;*SRE +16.2;*SRE?", "36;16\n"},
        {"  *IDN?  ;  ;*OPC?\r\n", "Tarvel Morrow,tm-gateway,lab-pc,1.0.0;1\n"},
    };
    for (const auto& row : rows) EXPECT_EQ(query(row.message), row.answer) << row.message;
    // A message of commands alone has nothing to say.
    send("*CLS;*RST;*WAI;*OPC\n");
    EXPECT_EQ(read(), "timeout");
}

TEST_F(IdentityTest, WhatIsNoCommandOfItsQueuesTheErrorAnInstrumentGives) {
    const struct {
        const char* message;
        const char* error;
        int esr;  // the event status bit it sets
    } rows[] = {
        {"*FOO", "-113,\"Undefined header\"", 32},
        {"SYST:INT:LIST", "-113,\"Undefined header\"", 32},  // the query without '?'
        {"SYST:INT:LIST:ALL?", "-113,\"Undefined header\"", 32},
        {"*IDN? 1", "-108,\"Parameter not allowed\"", 32},
        {"SYST:INT:INST:LIST?", "-109,\"Missing parameter\"", 32},
        {"*ESE abc", "-104,\"Data type error\"", 32},
        {"*ESE \"1\"", "-104,\"Data type error\"", 32},
        {"*ESE 1 2", "-103,\"Invalid separator\"", 32},
        {"SYST::ERR?", "-102,\"Syntax error\"", 32},
        {"*IDN?X", "-102,\"Syntax error\"", 32},
        {"SYST:INT:INST:LIST? \"gpib0", "-151,\"Invalid string data\"", 32},
        {"SYSTEMERRORNEXT?", "-112,\"Program mnemonic too long\"", 32},
        {"*ESE 256", "-222,\"Data out of range\"", 16},
        {"SYST:INT:INST:LIST? gpib7", "-224,\"Illegal parameter value\"", 16},
    };
    query("*ESR?");  // its power-on event
    for (const auto& row : rows) {
        send(row.message);
        EXPECT_EQ(read(), "timeout") << row.message;  // a query that fails answers nothing
        EXPECT_EQ(query("SYST:ERR?"), std::string(row.error) + "\n") << row.message;
        // The Query UNTERMINATED of the read above, then the event bits.
        EXPECT_EQ(query("SYST:ERR?"), "-420,\"Query UNTERMINATED\"\n") << row.message;
        EXPECT_EQ(query("*ESR?"), std::to_string(row.esr | 4) + "\n") << row.message;
    }
    // What came before a command error still runs; what comes after it
    // does not.
    EXPECT_EQ(query("*OPC?;*BAD;*IDN?"), "1\n");
    EXPECT_EQ(query("SYST:ERR:COUN?;:SYST:ERR?"), "1;-113,\"Undefined header\"\n");
}

TEST_F(IdentityTest, ASearchRunsOnlyWhenAskedForAndSaysWhatWentWrong) {
    query("*IDN?;SYST:INT:LIST?;INST:LIST? gpib0;:SYST:INT:DESC? gpib0");
    EXPECT_TRUE(searches.empty());
    const int64_t before = net::monotonicUs();
    long sent = 0;
    const std::string ask = "SYST:INT:SEAR \"gpib0\";SEAR gpib1;*OPC?\n";
    ASSERT_EQ(inst.send({0, -1}, ask.data(), long(ask.size()), EndMode::None,
                        Timeout::ofUs(2'000'000), sent),
              gpibdrv::kDone);
    EXPECT_EQ(read(), "1\n");
    EXPECT_EQ(searches, (std::vector<std::string>{"gpib0", "gpib1"}));
    // Each search has what is left of the write's own time.
    ASSERT_EQ(searchDeadlines.size(), 2u);
    EXPECT_GE(searchDeadlines[0], before + 2'000'000);
    EXPECT_LE(searchDeadlines[0], net::monotonicUs() + 2'000'000);
    EXPECT_EQ(query("SYST:ERR?"), "-240,\"Hardware error;the board is not there\"\n");
    send("SYST:INT:SEAR gpib9");
    EXPECT_EQ(query("SYST:ERR?"), "-224,\"Illegal parameter value\"\n");
    EXPECT_EQ(searches.size(), 2u);
}

TEST_F(IdentityTest, TheStatusByteAndRegistersFollowTheirEvents) {
    EXPECT_EQ(query("*ESR?"), "128\n");  // power on, once
    EXPECT_EQ(query("*ESR?"), "0\n");
    send("*ESE 32;*SRE 36");
    send("*NOPE");
    uint8_t stb = 0;
    ASSERT_EQ(inst.serialPoll({0, -1}, {}, stb), gpibdrv::kDone);
    // An error queued (4), the event summary (32) and the request (64).
    EXPECT_EQ(stb, 0x04 | 0x20 | 0x40);
    send("*IDN?");
    ASSERT_EQ(inst.serialPoll({0, -1}, {}, stb), gpibdrv::kDone);
    EXPECT_EQ(stb & 0x10, 0x10);            // an answer waits
    EXPECT_EQ(query("*CLS;*STB?"), "0\n");  // the unread answer lost, the status cleared
    // *CLS came after the unread answer was thrown away: nothing is left.
    EXPECT_EQ(query("SYST:ERR?"), "0,\"No error\"\n");
    send("*IDN?");
    EXPECT_EQ(query("SYST:ERR?"), "-410,\"Query INTERRUPTED\"\n");
    send("*IDN?");
    EXPECT_EQ(inst.clear(nullptr), gpibdrv::kDone);  // device clear empties the answer
    EXPECT_EQ(read(), "timeout");
}

TEST_F(IdentityTest, AnswersAreReadInPartsAndEndWithEoi) {
    send("*IDN?");
    int ended = 0;
    EXPECT_EQ(read(8, 20'000, &ended), "Tarvel M");
    EXPECT_EQ(ended, gpibdrv::kEndCount);
    EXPECT_EQ(read(4096, 20'000, &ended), "orrow,tm-gateway,lab-pc,1.0.0\n");
    EXPECT_EQ(ended, gpibdrv::kEndEoi);
    // A message may come in several writes; only its end runs it.
    send("*ID", EndMode::None);
    send("N?", EndMode::None);
    EXPECT_EQ(read(), "timeout");
    send("\n", EndMode::None);
    EXPECT_EQ(read(), "Tarvel Morrow,tm-gateway,lab-pc,1.0.0\n");
    // Two messages in one write: the second throws away the first's answer.
    send("*OPC?\n*TST?\n");
    EXPECT_EQ(read(), "0\n");
}

TEST_F(IdentityTest, AReadWithNothingToSayWaitsItsTimeOrAnInterrupt) {
    auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(read(100, 150'000), "timeout");
    const auto waited = std::chrono::steady_clock::now() - began;
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::milliseconds(1500));
    // An interrupt from another thread ends the wait at once.
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        inst.interrupt();
    });
    began = std::chrono::steady_clock::now();
    EXPECT_EQ(read(100, 10'000'000), "timeout");
    other.join();
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
    inst.clearInterrupt();
    // The timeout queued its error; the interrupted read did not.
    EXPECT_EQ(query("SYST:ERR:COUN?"), "1\n");
}

TEST_F(IdentityTest, FloodsAreBoundedAndLeaveItWorking) {
    // A message longer than the input buffer is thrown away whole.
    const std::string flood(GatewayIdentity::kMaxInput + 100, 'A');
    send(flood);
    EXPECT_EQ(query("SYST:ERR?"), "-363,\"Input buffer overrun\"\n");
    // Answers beyond the output queue are not kept.
    std::string many;
    for (int i = 0; i < 3000; ++i) many += "*IDN?;";
    const std::string answer = query(many);
    EXPECT_LE(answer.size(), GatewayIdentity::kMaxOutput);
    EXPECT_EQ(query("SYST:ERR?"), "-223,\"Too much data\"\n");
    // More errors than the queue holds: its last place says so.
    for (size_t i = 0; i < GatewayIdentity::kErrorQueue + 5; ++i) send("*BAD");
    EXPECT_EQ(query("SYST:ERR:COUN?"), std::to_string(GatewayIdentity::kErrorQueue) + "\n");
    for (size_t i = 0; i + 1 < GatewayIdentity::kErrorQueue; ++i) query("SYST:ERR?");
    EXPECT_EQ(query("SYST:ERR?"), "-350,\"Queue overflow\"\n");
    EXPECT_EQ(query("*IDN?"), "Tarvel Morrow,tm-gateway,lab-pc,1.0.0\n");
    // The interfaces are asked for only by the queries that show them.
    const int looks = interfaceLooks;
    query("*IDN?");
    EXPECT_EQ(interfaceLooks, looks);
}

}  // namespace
