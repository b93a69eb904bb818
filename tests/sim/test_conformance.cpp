// The driver semantics of the simulated bench, through the loader and the
// wrappers exactly as the program calls it: one row per call with the status,
// error and count a real driver gives.

#include <functional>
#include <thread>
#include <vector>

#include "sim_driver.h"

namespace {

constexpr int kAny = -999;  // a field the row does not check

struct Row {
    const char* what;
    std::function<std::string(GPIB32&)> call;  // returns data to compare ("" when none)
    int ibsta;
    int iberr = kAny;
    long ibcntl = kAny;
    std::string data = "";
};

std::vector<int16_t> probeList() {
    std::vector<int16_t> list;
    for (int16_t a = 1; a <= 30; ++a) list.push_back(a);
    list.push_back(-1);
    list.resize(33, 0);
    return list;
}

std::string text(const Text& t, long n) {
    return ToCodePage(TextView(t).substr(0, size_t(std::max(0L, n))));
}

class Conformance : public simtest::SimDriver {
  protected:
    void run(const std::vector<Row>& rows) {
        for (const Row& r : rows) {
            std::string data = r.call(m_gpib);
            EXPECT_EQ(m_gpib.ibsta & 0xFFFF, r.ibsta & 0xFFFF) << r.what;
            if (r.iberr != kAny) {
                EXPECT_EQ(m_gpib.iberr, r.iberr) << r.what;
            }
            if (r.ibcntl != kAny) {
                EXPECT_EQ(m_gpib.ibcntl, r.ibcntl) << r.what;
            }
            EXPECT_EQ(data, r.data) << r.what;
        }
    }
    int16_t m_v = 0;
    std::vector<int16_t> m_found = std::vector<int16_t>(65, 0);
};

std::string num(long v) {
    return std::to_string(v);
}

TEST_F(Conformance, BoardsDescriptorsAndSettings) {
    ASSERT_EQ(reload(""), 0);
    EXPECT_NE(description().find("simulated bench, built-in bench"), std::string::npos)
        << description();
    int16_t ud = 0;
    run({
        {"ibfind GPIB0", [](GPIB32& g) { return num(g.ibfind(FromUtf8("GPIB0"))); }, 0x0100, kAny,
         kAny, "0"},
        {"ibfind gpib1 (any case)", [](GPIB32& g) { return num(g.ibfind(FromUtf8("gpib1"))); },
         0x0100, kAny, kAny, "1"},
        {"ibfind unknown", [](GPIB32& g) { return num(g.ibfind(FromUtf8("GPIB2"))); }, 0x8000,
         GPIB_EDVR, kAny, "-1"},
        {"ibask pad",
         [&](GPIB32& g) {
             g.ibask(0, 1, m_v);
             return num(m_v);
         },
         0x0100, kAny, kAny, "0"},
        {"ibask unknown option",
         [&](GPIB32& g) {
             g.ibask(0, 0x77, m_v);
             return std::string();
         },
         0x8100, GPIB_EARG},
        // The window sets the serial-poll timeout on whatever descriptor it
        // holds; before any device is opened that is board 0.
        {"ibconfig spoll timeout on a board",
         [](GPIB32& g) {
             g.ibconfig(0, 0x18, 12);
             return std::string();
         },
         0x0100, 11},
        {"ibask spoll timeout on a board",
         [&](GPIB32& g) {
             g.ibask(0, 0x18, m_v);
             return num(m_v);
         },
         0x0100, kAny, kAny, "12"},
        {"ibtmo keeps the previous code in iberr",
         [](GPIB32& g) {
             g.ibtmo(0, 12);
             return std::string();
         },
         0x0100, 13},
        {"ibtmo beyond 17",
         [](GPIB32& g) {
             g.ibtmo(0, 18);
             return std::string();
         },
         0x8100, GPIB_EARG},
        {"ibpad beyond 30",
         [](GPIB32& g) {
             g.ibpad(0, 31);
             return std::string();
         },
         0x8100, GPIB_EARG},
        {"ibpad 21",
         [&](GPIB32& g) {
             g.ibpad(0, 21);
             g.ibask(0, 1, m_v);
             return num(m_v);
         },
         0x0100, kAny, kAny, "21"},
        {"ibfind resets the board",
         [&](GPIB32& g) {
             g.ibfind(FromUtf8("GPIB0"));
             g.ibask(0, 1, m_v);
             return num(m_v);
         },
         0x0100, kAny, kAny, "0"},
        {"ibsre before IFC",
         [](GPIB32& g) {
             g.ibsre(0, 1);
             return std::string();
         },
         0x0100, 0},
        {"ibdev", [&](GPIB32& g) { return num(g.ibdev(0, 9, 0, 12, 1, 10, ud)); }, 0x0100, kAny,
         kAny, "16"},
        {"ibdev secondary 31 (code 127)",
         [](GPIB32& g) {
             int16_t d;
             return num(g.ibdev(0, 1, 127, 12, 1, 10, d));
         },
         0x8100, GPIB_EARG, kAny, "-1"},
        {"ibdev primary 31",
         [](GPIB32& g) {
             int16_t d;
             return num(g.ibdev(0, 31, 0, 12, 1, 10, d));
         },
         0x8100, GPIB_EARG, kAny, "-1"},
        {"ibdev timeout 18",
         [](GPIB32& g) {
             int16_t d;
             return num(g.ibdev(0, 9, 0, 18, 1, 10, d));
         },
         0x8100, GPIB_EARG, kAny, "-1"},
        {"ibdev on no board",
         [](GPIB32& g) {
             int16_t d;
             return num(g.ibdev(5, 9, 0, 12, 1, 10, d));
         },
         0x8000, GPIB_EDVR, kAny, "-1"},
        {"ibln before IFC",
         [&](GPIB32& g) {
             g.ibln(16, 9, 0, m_v);
             return std::string();
         },
         0x8100, GPIB_ECIC},
        {"SendIFC",
         [](GPIB32& g) {
             g.SendIFC(0);
             return std::string();
         },
         0x0130},
        {"ibln present",
         [&](GPIB32& g) {
             g.ibln(16, 9, 0, m_v);
             return num(m_v);
         },
         0x0130, kAny, kAny, "1"},
        {"ibln absent",
         [&](GPIB32& g) {
             g.ibln(16, 3, 0, m_v);
             return num(m_v);
         },
         0x0130, kAny, kAny, "0"},
        {"ibln secondary",
         [&](GPIB32& g) {
             g.ibln(16, 7, 0x62, m_v);
             return num(m_v);
         },
         0x0130, kAny, kAny, "1"},
        {"ibln primary alone of a secondary",
         [&](GPIB32& g) {
             g.ibln(16, 7, 0, m_v);
             return num(m_v);
         },
         0x0130, kAny, kAny, "0"},
        {"ibln primary 31",
         [&](GPIB32& g) {
             g.ibln(16, 31, 0, m_v);
             return std::string();
         },
         0x8130, GPIB_EARG},
        {"ibconfig spoll timeout",
         [](GPIB32& g) {
             g.ibconfig(16, 0x18, 12);
             return std::string();
         },
         0x0100, 11},
        {"ibask spoll timeout",
         [&](GPIB32& g) {
             g.ibask(16, 0x18, m_v);
             return num(m_v);
         },
         0x0100, kAny, kAny, "12"},
        {"ibconfig spoll timeout 18",
         [](GPIB32& g) {
             g.ibconfig(16, 0x18, 18);
             return std::string();
         },
         0x8130, GPIB_EARG},
        {"ibsre on a device",
         [](GPIB32& g) {
             g.ibsre(16, 1);
             return std::string();
         },
         0x8130, GPIB_EARG},
        {"ibonl frees",
         [](GPIB32& g) {
             g.ibonl(16, 0);
             return std::string();
         },
         0x0100},
        {"ibonl of a freed descriptor",
         [](GPIB32& g) {
             g.ibonl(16, 0);
             return std::string();
         },
         0x8000, GPIB_EDVR},
        {"ibln of a freed descriptor",
         [&](GPIB32& g) {
             g.ibln(16, 9, 0, m_v);
             return std::string();
         },
         0x8000, GPIB_EDVR},
        {"ibonl of -1",
         [](GPIB32& g) {
             g.ibonl(-1, 0);
             return std::string();
         },
         0x8000, GPIB_EDVR},
        {"ibdev reuses 16", [&](GPIB32& g) { return num(g.ibdev(0, 5, 0x61, 12, 1, 10, ud)); },
         0x0100, kAny, kAny, "16"},
        {"ibsre 0 leaves the previous 1",
         [](GPIB32& g) {
             g.ibsre(0, 0);
             return std::string();
         },
         0x0130, 1},
    });
}

TEST_F(Conformance, SendAndReceive) {
    ASSERT_EQ(reload(""), 0);
    run({
        {"Send before IFC",
         [](GPIB32& g) {
             Text t = FromUtf8("*IDN?\n");
             g.Send(0, 9, t, 2);
             return std::string();
         },
         0x8100, GPIB_ECIC, 0},
        {"SendIFC",
         [](GPIB32& g) {
             g.SendIFC(0);
             return std::string();
         },
         0x0130},
        {"Send",
         [](GPIB32& g) {
             Text t = FromUtf8("*IDN?\n");
             g.Send(0, 9, t, 2);
             return std::string();
         },
         0x0128, kAny, 6},
        {"Receive to LF",
         [](GPIB32& g) {
             Text b(100, u' ');
             g.Receive(0, 9, b, 10);
             return text(b, g.ibcntl);
         },
         0x2124, kAny, 31, "SIMULATED BENCH,DMM-9,0001,1.0\n"},
        {"Receive with nothing to read",
         [](GPIB32& g) {
             Text b(100, u' ');
             g.Receive(0, 9, b, 10);
             return std::string();
         },
         0xC124, GPIB_EABO, 0},
        {"the error queue has the query error",
         [](GPIB32& g) {
             Text t = FromUtf8("SYST:ERR?\n");
             g.Send(0, 9, t, 2);
             Text b(100, u' ');
             g.Receive(0, 9, b, 0x100);
             return text(b, g.ibcntl);
         },
         0x2124, kAny, 26, "-420,\"Query UNTERMINATED\"\n"},
        {"Send to nobody",
         [](GPIB32& g) {
             Text t = FromUtf8("*IDN?\n");
             g.Send(0, 3, t, 2);
             return std::string();
         },
         0x8130, GPIB_ENOL, 0},
        {"Receive from nobody",
         [](GPIB32& g) {
             Text b(100, u' ');
             g.Receive(0, 3, b, 10);
             return std::string();
         },
         0x8130, GPIB_ENOL, 0},
        {"Receive termination 0x200",
         [](GPIB32& g) {
             Text b(100, u' ');
             g.Receive(0, 9, b, 0x200);
             return std::string();
         },
         0x8130, GPIB_EARG},
        {"Send end mode 3",
         [](GPIB32& g) {
             Text t = FromUtf8("x");
             g.Send(0, 9, t, 3);
             return std::string();
         },
         0x8130, GPIB_EARG},
        {"Send secondary code 0x7F",
         [](GPIB32& g) {
             Text t = FromUtf8("x");
             g.Send(0, 0x7F05, t, 2);
             return std::string();
         },
         0x8130, GPIB_EARG},
        {"NLend appends LF with EOI",
         [](GPIB32& g) {
             Text t = FromUtf8("*IDN?");
             g.Send(0, 0x6105, t, 1);
             Text b(100, u' ');
             g.Receive(0, 0x6105, b, 0x100);
             return text(b, g.ibcntl);
         },
         0x2124, kAny, 31, "SIMULATED BENCH,PSU-5,0002,1.0\n"},
        {"NULLend sends no EOI: no message yet",
         [](GPIB32& g) {
             Text t = FromUtf8("*IDN?");
             g.Send(0, 0x6207, t, 0);
             Text b(100, u' ');
             g.Receive(0, 0x6207, b, 10);
             return std::string();
         },
         0xC124, GPIB_EABO, 0},
        {"the LF completes it",
         [](GPIB32& g) {
             Text t = FromUtf8("\n");
             g.Send(0, 0x6207, t, 0);
             Text b(100, u' ');
             g.Receive(0, 0x6207, b, 13);
             return text(b, g.ibcntl);
         },
         0x2124, kAny, 32, "SIMULATED BENCH,SCAN-7,0003,1.0\n"},
        {"a long answer stops at the count",
         [](GPIB32& g) {
             Text t = FromUtf8("OD\n");
             g.Send(0, 12, t, 2);
             Text b(100, u' ');
             g.Receive(0, 12, b, 10);
             return text(b, 7);
         },
         0x0124, kAny, 100, std::string("LOG 12\0", 7)},
        {"the rest follows with END",
         [](GPIB32& g) {
             Text b(100, u' ');
             g.Receive(0, 12, b, 0x100);
             return text(b, g.ibcntl);
         },
         0x2124, kAny, 9, "+06 END\r\n"},
        {"LF termination stops before CR LF ends",
         [](GPIB32& g) {
             Text t = FromUtf8("ID\n");
             g.Send(0, 12, t, 2);
             Text b(100, u' ');
             g.Receive(0, 12, b, 13);
             return text(b, g.ibcntl);
         },
         0x2124, kAny, 33, "SIMULATED BENCH COUNTER 12 REV A\r"},
        {"and the LF is left",
         [](GPIB32& g) {
             Text b(100, u' ');
             g.Receive(0, 12, b, 10);
             return text(b, g.ibcntl);
         },
         0x2124, kAny, 1, "\n"},
    });
}

TEST_F(Conformance, ListenersPollsAndServiceRequests) {
    ASSERT_EQ(reload(""), 0);
    openBoard();
    std::vector<int16_t> probe = probeList();
    int16_t status = 0, srq = 0;
    std::vector<int16_t> results(65, 0);
    auto foundText = [&](GPIB32& g) {
        std::string s;
        for (int i = 0; i < g.ibcnt && i < 65; ++i) s += num(m_found[size_t(i)]) + " ";
        return s;
    };
    run({
        {"FindLstn",
         [&](GPIB32& g) {
             g.FindLstn(0, probe, m_found, 32);
             return foundText(g);
         },
         0x0130, kAny, 4, "24837 25095 9 12 "},
        {"FindLstn with room for 2",
         [&](GPIB32& g) {
             g.FindLstn(0, probe, m_found, 2);
             return foundText(g);
         },
         0x8130, GPIB_ETAB, 2, "24837 25095 "},
        {"TestSRQ idle",
         [&](GPIB32& g) {
             g.TestSRQ(0, srq);
             return num(srq);
         },
         0x0130, kAny, kAny, "0"},
        {"Trigger the counter",
         [](GPIB32& g) {
             g.Trigger(0, 12);
             return std::string();
         },
         0x1130},
        {"TestSRQ asserted",
         [&](GPIB32& g) {
             g.TestSRQ(0, srq);
             return num(srq);
         },
         0x1130, kAny, kAny, "1"},
        {"FindRQS",
         [&](GPIB32& g) {
             m_found = {24837, 25095, 9, 12, -1};
             m_found.resize(65);
             g.FindRQS(0, m_found, status);
             return num(status);
         },
         0x0130, kAny, 3, "65"},
        {"TestSRQ after the poll",
         [&](GPIB32& g) {
             g.TestSRQ(0, srq);
             return num(srq);
         },
         0x0130, kAny, kAny, "0"},
        {"FindRQS with nobody requesting",
         [&](GPIB32& g) {
             g.FindRQS(0, m_found, status);
             return std::string();
         },
         0x8130, GPIB_ETAB, 4},
        {"AllSpoll",
         [&](GPIB32& g) {
             g.AllSpoll(0, m_found, results);
             return num(results[0]) + num(results[1]) + num(results[2]) + num(results[3]);
         },
         0x0130, kAny, 4, "0000"},
        {"ReadStatusByte of nobody",
         [&](GPIB32& g) {
             g.ReadStatusByte(0, 3, status);
             return std::string();
         },
         0x8130, GPIB_ENOL},
        {"a query error shows in the status byte (EAV)",
         [&](GPIB32& g) {
             Text b(100, u' ');
             g.Receive(0, 9, b, 10);
             g.ReadStatusByte(0, 9, status);
             return num(status);
         },
         0x0130, kAny, kAny, "4"},
        {"the meter requests service for a waiting answer once *SRE asks",
         [&](GPIB32& g) {
             Text t = FromUtf8("*CLS;*SRE 16\n");
             g.Send(0, 9, t, 2);
             t = FromUtf8("*IDN?\n");
             g.Send(0, 9, t, 2);
             g.TestSRQ(0, srq);
             return num(srq);
         },
         0x1128, kAny, kAny, "1"},
        {"its poll shows RQS and MAV",
         [&](GPIB32& g) {
             g.ReadStatusByte(0, 9, status);
             return num(status);
         },
         0x0130, kAny, kAny, "80"},
        {"DevClear clears its answer",
         [&](GPIB32& g) {
             g.DevClear(0, 9);
             g.ReadStatusByte(0, 9, status);
             return num(status);
         },
         0x0130, kAny, kAny, "0"},
        {"DCL to all",
         [](GPIB32& g) {
             g.DevClear(0, -1);
             return std::string();
         },
         0x0130},
        {"Trigger nobody",
         [](GPIB32& g) {
             g.Trigger(0, 3);
             return std::string();
         },
         0x8130, GPIB_ENOL},
        {"DevClear nobody",
         [](GPIB32& g) {
             g.DevClear(0, 3);
             return std::string();
         },
         0x8130, GPIB_ENOL},
    });
}

TEST_F(Conformance, ASecondBoardIsItsOwnBus) {
    ASSERT_EQ(reload(""), 0);
    openBoard(1);
    std::vector<int16_t> probe = probeList();
    m_gpib.FindLstn(1, probe, m_found, 32);
    EXPECT_EQ(m_gpib.ibcnt, 1);
    EXPECT_EQ(m_found[0], 3);
    Text t = FromUtf8("*IDN?\n");
    m_gpib.Send(0, 3, t, 2);  // board 0 has not sent IFC in this bench, nor a device at 3
    EXPECT_EQ(m_gpib.iberr, GPIB_ECIC);
    m_gpib.Send(1, 3, t, 2);
    Text b(100, u' ');
    m_gpib.Receive(1, 3, b, 10);
    EXPECT_EQ(text(b, m_gpib.ibcntl), "SIMULATED BENCH,DMM-3,0004,1.0\n");
}

TEST_F(Conformance, StatusIsKeptPerThread) {
    ASSERT_EQ(reload(""), 0);
    openBoard();
    Text t = FromUtf8("*IDN?\n");
    m_gpib.Send(0, 3, t, 2);  // this thread's last call failed
    ASSERT_EQ(m_gpib.iberr, GPIB_ENOL);
    int16_t otherSta = 0;
    long otherCount = 0;
    std::thread([&] {
        GPIB32 other(*m_library);
        Text q = FromUtf8("*IDN?\n");
        other.Send(0, 9, q, 2);
        otherSta = other.ibsta;
        otherCount = other.ibcntl;
    }).join();
    EXPECT_EQ(otherSta, 0x0128);
    EXPECT_EQ(otherCount, 6);
    m_gpib.RefreshStatus();
    EXPECT_EQ(m_gpib.ibsta & 0xFFFF, 0x8130);
    EXPECT_EQ(m_gpib.iberr, GPIB_ENOL);
}

TEST_F(Conformance, ARefusedBenchFailsEveryCallAndSaysWhy) {
    std::string path = simtest::benchFile("two_at_one_address.yaml");
    EXPECT_EQ(reload(path), -1);
    EXPECT_NE(description().find(
                  "simulated bench: bench file " + path +
                  ", line 12: two instruments at GPIB0::9 (GPIB0::9::INSTR and GPIB::9::INSTR)"),
              std::string::npos)
        << description();
    EXPECT_EQ(m_gpib.ibfind(FromUtf8("GPIB0")), -1);
    EXPECT_EQ(m_gpib.ibsta & 0xFFFF, GPIB_ERR);
    EXPECT_EQ(m_gpib.iberr, GPIB_EDVR);
    m_gpib.SendIFC(0);
    EXPECT_EQ(m_gpib.ibsta & 0xFFFF, GPIB_ERR);
    EXPECT_EQ(m_gpib.iberr, GPIB_EDVR);
    ASSERT_EQ(reload(""), 0);
    EXPECT_EQ(m_gpib.ibfind(FromUtf8("GPIB0")), 0);
}

TEST_F(Conformance, PyvisaSimFileAnswersItsGpibResources) {
    std::ifstream probe(PYVISA_DEFAULT_YAML);
    if (!probe)
        GTEST_SKIP() << "pyvisa-sim's default.yaml is not at " PYVISA_DEFAULT_YAML;
    ASSERT_EQ(reload(PYVISA_DEFAULT_YAML), 0);
    auto notes = reinterpret_cast<GpibSimNotes_fn>(m_library->Resolve({"GpibSimNotes"}));
    ASSERT_NE(notes, nullptr);
    EXPECT_NE(std::string(notes()).find("skipped the resource ASRL1::INSTR"), std::string::npos);
    openBoard();
    EXPECT_EQ(ask(8, "?IDN"), "LSG Serial #1234\n");
    EXPECT_EQ(ask(8, "!FREQ 10.3"), "OK\n");
    EXPECT_EQ(ask(8, "?FREQ"), "10.30\n");
    EXPECT_EQ(ask(8, "!FREQ 1000000"), "FREQ_ERROR\n");
    EXPECT_EQ(ask(8, "WHAT"), "ERROR\n");
    EXPECT_EQ(ask(9, "*IDN?"), "SCPI,MOCK,VERSION_1.0\n");
}

}  // namespace
