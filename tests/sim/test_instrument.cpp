// Instruments as the device-definition format describes them, on the bus:
// pyvisa-sim's own file answers as that project documents, and the 488.2
// status model, trigger, clear and timing habits hold.

#include <gtest/gtest.h>

#include <fstream>

#include "bench_harness.h"

namespace {

using simtest::word;

struct Exchange {
    int pad;
    const char* query;
    const char* answer;  // "<timeout>" when the instrument says nothing
};

TEST(PyvisaSimFile, AnswersAsThatProjectDocuments) {
    std::ifstream probe(PYVISA_DEFAULT_YAML);
    if (!probe)
        GTEST_SKIP() << "pyvisa-sim's default.yaml is not at " PYVISA_DEFAULT_YAML;
    simtest::BenchHarness h;
    ASSERT_TRUE(h.load(sim::loadBenchFile(PYVISA_DEFAULT_YAML)));
    const Exchange script[] = {
        {8, "?IDN", "LSG Serial #1234\n"},
        {8, "!CAL", "OK\n"},
        {8, "?FREQ", "100.00\n"},
        {8, "!FREQ 10.3", "OK\n"},
        {8, "?FREQ", "10.30\n"},
        {8, "!FREQ 0.5", "FREQ_ERROR\n"},
        {8, "?FREQ", "10.30\n"},
        {8, "!AMP 20", "ERROR\n"},  // outside specs, no "e": the device's error
        {8, "?AMP", "1.00\n"},
        {8, "!OUT 2", "ERROR\n"},
        {8, "!OUT 1", "OK\n"},
        {8, "?OUT", "1\n"},
        {8, "?OFF", "0.00\n"},
        {8, "BOGUS", "ERROR\n"},
        {9, "*IDN?", "SCPI,MOCK,VERSION_1.0\n"},
        {9, ":VOLT:IMM:AMPL?", "+1.00000000E+00\n"},
        {9, ":VOLT:IMM:AMPL 2.5", "<timeout>"},  // a setter without r answers nothing
        {9, ":VOLT:IMM:AMPL?", "+2.50000000E+00\n"},
        {9, "INST P25V", "<timeout>"},
        {9, "INST?", "P25V\n"},
        {9, "INST P99V", "<timeout>"},  // refused, and the device has no error text
        {9, "*ESR?", "36\n"},  // command error (32), and the read of the refused setter (4)
        {9, "*ESR?", "0\n"},
        {10, "BOGUS", "INVALID_COMMAND\n"},
        {10, "*ESR?", "32\n"},
        {10, "OUTP 1", "<timeout>"},
        {10, "OUTP?", "1\n"},
        {4, ":SYST:ERR?", "0, No Error\n"},
        {4, "BOGUS", "<timeout>"},
        {4, ":SYST:ERR?", "1, Command error\n"},
        {4, ":SYST:ERR?", "0, No Error\n"},
        {22, "SYST:ERR?", "NO ERROR\n"},
        {22, "SENS1:FREQ 3.5 MHZ", "\n"},  // r: "" answers the termination alone
        {22, "SENS1:FREQ?", "3.50\n"},
        {22, "SENS1:FREQ 30 MHZ", "FREQ ERROR\n"},
        {22, "CURR:LIM 2.5", "\n"},
        {22, "MEAS:CURR?", "2.50\n"},
        {22, "OUTPUT:STATE ON", "\n"},
        {22, "OUTPUT:STATE?", "ON\n"},
        {22, "RUN:FUNCTION", "hello {:}\n"},  // dialogues are sent as written
        {2, "FREQ 3MHZ", "\n"},
        {2, "FREQ?", "3.00\n"},
        {2, "POW:LEV -200", "POW ERROR\n"},
        {2, "POW:LEV?", "0.00\n"},
    };
    for (const auto& e : script)
        EXPECT_EQ(h.ask(word(e.pad), e.query), e.answer) << e.pad << " " << e.query;
}

TEST(PyvisaSimFile, AMessageEndsAtEoiOrAtTheQueryTermination) {
    std::ifstream probe(PYVISA_DEFAULT_YAML);
    if (!probe)
        GTEST_SKIP() << "pyvisa-sim's default.yaml is not at " PYVISA_DEFAULT_YAML;
    simtest::BenchHarness h;
    ASSERT_TRUE(h.load(sim::loadBenchFile(PYVISA_DEFAULT_YAML)));
    sim::CallStatus st;
    // Device 5 ends queries with CR LF: a lone LF without EOI completes nothing.
    h.send(word(22), "SYST:ERR?\n", GPIB_NULLend);
    EXPECT_EQ(h.receive(word(22), st), "");
    EXPECT_EQ(st.ibsta & (GPIB_ERR | GPIB_TIMO), GPIB_ERR | GPIB_TIMO);
    h.send(word(22), "\r\n",
           GPIB_NULLend);  // the termination arrives: "SYST:ERR?\n" is one message
    EXPECT_EQ(h.receive(word(22), st), "NO ERROR\n");
    h.send(word(22), "SYST:", GPIB_NULLend);
    h.send(word(22), "ERR?", GPIB_DABend);  // EOI completes it
    EXPECT_EQ(h.receive(word(22), st), "NO ERROR\n");
    h.send(word(22), "SYST:ERR?", GPIB_NLend);
    EXPECT_EQ(h.receive(word(22), st), "NO ERROR\n");
    EXPECT_TRUE(st.ibsta & GPIB_END);
}

constexpr const char* kScpi = R"(spec: "1.1"
devices:
  meter:
    eom:
      GPIB INSTR: {q: "\n", r: "\n"}
    delimiter: ";"
    error:
      error_queue:
        - {q: "SYST:ERR?", default: '+0,"No error"', command_error: '-113,"Undefined header"'}
    dialogues:
      - {q: "*IDN?", r: "SIMULATED BENCH,METER,1,1.0"}
      - {q: "LONG?", r: "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789ABCDE"}
    properties:
      range:
        default: 10
        getter: {q: "RANGE?", r: "{:d}"}
        setter: {q: "RANGE {:d}"}
        specs: {min: 1, max: 1000, type: int}
resources:
  GPIB0::9::INSTR: {device: meter}
  GPIB0::10::INSTR: {device: meter}
  GPIB0::11::INSTR: {device: meter}
gpib:
  instruments:
    GPIB0::9::INSTR:
      match_case: false
      trigger: {response: "TRIGGERED", esr_bits: 1}
      device_clear: {reset: true}
    GPIB0::10::INSTR:
      response_delay_ms: 2500
      answers: 2
    GPIB0::11::INSTR:
      eoi: false
)";

class StatusModel : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(h.loadText(kScpi)); }
    simtest::BenchHarness h;
};

TEST_F(StatusModel, ErrorsRaiseServiceRequestsThroughTheEnableMasks) {
    h.send(word(9), "*ese 32;*sre 32\n");
    EXPECT_FALSE(h.srq());
    h.send(word(9), "BOGUS\n");
    EXPECT_TRUE(h.srq());
    EXPECT_EQ(h.poll(word(9)), 0x20 | 0x40 | 0x04);  // ESB, RQS, and the error queue's EAV
    EXPECT_FALSE(h.srq());                           // the poll cleared RQS
    EXPECT_EQ(h.poll(word(9)), 0x24);
    EXPECT_EQ(h.ask(word(9), "*STB?"), "100\n");  // ESB, EAV and the summary bit
    EXPECT_EQ(h.ask(word(9), "SYST:ERR?"), "-113,\"Undefined header\"\n");
    EXPECT_EQ(h.ask(word(9), "*ESR?"), "32\n");
    EXPECT_EQ(h.poll(word(9)), 0);
}

TEST_F(StatusModel, AWaitingAnswerSetsMavAndRequestsServiceWhenEnabled) {
    h.send(word(9), "*SRE 16\n");
    h.send(word(9), "*IDN?\n");
    EXPECT_TRUE(h.srq());
    EXPECT_EQ(h.poll(word(9)), 0x50);
    sim::CallStatus st;
    EXPECT_EQ(h.receive(word(9), st), "SIMULATED BENCH,METER,1,1.0\n");
    EXPECT_EQ(h.poll(word(9)), 0);
}

TEST_F(StatusModel, CommonCommandsClearResetTriggerAndComplete) {
    const Exchange script[] = {
        {9, "RANGE 100", nullptr},
        {9, "range?", "100\n"},
        {9, "*RST", nullptr},
        {9, "RANGE?", "10\n"},
        {9, "*OPC?", "1\n"},
        {9, "*OPC", nullptr},
        {9, "*ESR?", "1\n"},
        {9, "*SRE 300", nullptr},  // out of range: EXE
        {9, "*ESR?", "16\n"},
        {9, "NOPE", nullptr},
        {9, "*CLS", nullptr},
        {9, "*ESR?", "0\n"},
        {9, "SYST:ERR?", "+0,\"No error\"\n"},
        {9, "*TRG", nullptr},
        {9, "", "TRIGGERED\n"},
        {9, "*ESR?", "1\n"},
        {9, "*IDN?;RANGE?", "SIMULATED BENCH,METER,1,1.0\n"},
        {9, "", "10\n"},       // the second answer of the two-query message was still waiting
        {9, "", "<timeout>"},  // reading with nothing to read is a query error (QYE)
        {9, "*ESR?", "4\n"},
    };
    for (const auto& e : script) {
        if (!e.answer) {
            EXPECT_EQ(h.send(word(e.pad), std::string(e.query) + "\n").ibsta & GPIB_ERR, 0)
                << e.query;
        } else if (*e.query == 0) {
            sim::CallStatus st;
            std::string got = h.receive(word(e.pad), st);
            EXPECT_EQ((st.ibsta & GPIB_ERR) ? "<timeout>" : got, e.answer);
        } else {
            EXPECT_EQ(h.ask(word(e.pad), e.query), e.answer) << e.query;
        }
    }
}

TEST_F(StatusModel, HeadersMatchInCaseUnlessTheInstrumentIgnoresCase) {
    EXPECT_EQ(h.ask(word(9), "*idn?"), "SIMULATED BENCH,METER,1,1.0\n");
    EXPECT_EQ(h.ask(word(10), "*idn?"), "<timeout>");
}

TEST_F(StatusModel, TriggerAndDeviceClearActOnTheInstrument) {
    sim::CallStatus st;
    h.bench->Trigger(0, word(9), st);
    EXPECT_EQ(st.ibsta & GPIB_ERR, 0);
    h.send(word(9), "RANGE 50\n");
    h.send(word(9), "*IDN?\n");
    h.bench->DevClear(0, word(9), st);
    EXPECT_EQ(h.receive(word(9), st), "");        // output and the trigger's answer are gone
    EXPECT_EQ(h.ask(word(9), "RANGE?"), "10\n");  // this instrument resets on a clear
}

TEST_F(StatusModel, ALongAnswerIsReadInPiecesWithEndOnTheLast) {
    sim::CallStatus st;
    h.send(word(9), "LONG?\n");
    EXPECT_EQ(h.receive(word(9), st, 100).size(), 100u);
    EXPECT_EQ(st.ibsta & GPIB_END, 0);
    EXPECT_EQ(h.receive(word(9), st, 100), "ABCDE\n");
    EXPECT_EQ(st.ibsta & GPIB_END, GPIB_END);
    h.send(word(9), "*IDN?\n");
    EXPECT_EQ(h.receive(word(9), st, 100, ','), "SIMULATED BENCH,");  // stops at the EOS byte
    EXPECT_EQ(st.ibsta & GPIB_END, GPIB_END);
    EXPECT_EQ(h.receive(word(9), st, 100, ','), "METER,");
}

TEST_F(StatusModel, DelayedAnswersTimeOutUntilTheyAreReady) {
    sim::CallStatus st;
    h.bench->ibtmo(0, GPIB_T1s, st);
    h.send(word(10), "*IDN?\n");
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(h.receive(word(10), st), "") << attempt;
        EXPECT_EQ(st.iberr, GPIB_EABO);
    }
    EXPECT_EQ(h.receive(word(10), st), "SIMULATED BENCH,METER,1,1.0\n");  // 2.5 s after the query
}

TEST_F(StatusModel, AnInstrumentThatStopsAnsweringLetsReadsTimeOut) {
    EXPECT_EQ(h.bench->definition().instruments[1].answersLimit, 2);
    sim::CallStatus st;
    h.bench->ibtmo(0, GPIB_T10s, st);
    EXPECT_EQ(h.ask(word(10), "*IDN?"), "SIMULATED BENCH,METER,1,1.0\n");
    EXPECT_EQ(h.ask(word(10), "RANGE?"), "10\n");
    EXPECT_EQ(h.ask(word(10), "*IDN?"), "<timeout>");
}

TEST_F(StatusModel, AnswersWithoutEoiEndOnlyAtTheTerminationByte) {
    sim::CallStatus st;
    h.send(word(11), "*IDN?\n");
    EXPECT_EQ(h.receive(word(11), st), "SIMULATED BENCH,METER,1,1.0\n");
    EXPECT_EQ(st.ibsta & (GPIB_ERR | GPIB_TIMO),
              GPIB_ERR | GPIB_TIMO);  // no EOI: runs into the timeout
    h.send(word(11), "*IDN?\n");
    EXPECT_EQ(h.receive(word(11), st, 200, '\n'), "SIMULATED BENCH,METER,1,1.0\n");
    EXPECT_EQ(st.ibsta & (GPIB_ERR | GPIB_END), GPIB_END);
}

}  // namespace
