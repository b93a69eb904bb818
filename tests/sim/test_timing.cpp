// Time on the simulated bench: by default a timeout really waits and a
// transfer takes bus time, as on hardware; instant timing makes both free.
// Also the call trace, which reports that time.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim_driver.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class Timing : public simtest::SimDriver {
  protected:
    double timedRead(int16_t addr) {
        Text b(100, u' ');
        auto start = Clock::now();
        m_gpib.Receive(0, addr, b, 10);
        return millisSince(start);
    }
};

TEST_F(Timing, ATimeoutReallyWaitsUnlessTimeIsInstant) {
    unsetenv("GPIB_SIM_INSTANT");
    ASSERT_EQ(reload(""), 0);
    openBoard();
    m_gpib.ibtmo(0, GPIB_T10ms);
    double waited = timedRead(9);
    EXPECT_EQ(m_gpib.iberr, GPIB_EABO);
    EXPECT_GE(waited, 10.0);
    EXPECT_LT(waited, 90.0);
    m_gpib.ibtmo(0, GPIB_T100ms);
    waited = timedRead(9);
    EXPECT_GE(waited, 100.0);
    EXPECT_LT(waited, 400.0);
    setenv("GPIB_SIM_INSTANT", "1", 1);
    ASSERT_EQ(reload(""), 0);
    openBoard();
    m_gpib.ibtmo(0, GPIB_T10s);
    waited = timedRead(9);
    EXPECT_EQ(m_gpib.ibsta & GPIB_TIMO, GPIB_TIMO);
    EXPECT_LT(waited, 50.0);
}

TEST_F(Timing, TransfersTakeBusTimeAndAnswersTheirDelay) {
    unsetenv("GPIB_SIM_INSTANT");
    ASSERT_EQ(reload(""), 0);
    openBoard();
    Text big(20000, u'x');
    auto start = Clock::now();
    m_gpib.Send(0, 9, big, 0);  // about a microsecond a byte
    EXPECT_GE(millisSince(start), 20.0);
    // The counter answers 5 ms after the query, so query and read together
    // take that long; the read alone may take less once the send took time.
    Text id = FromUtf8("ID\n");
    start = Clock::now();
    m_gpib.Send(0, 12, id, 2);
    timedRead(12);
    EXPECT_GE(millisSince(start), 5.0);
    EXPECT_EQ(m_gpib.ibsta & GPIB_ERR, 0);
}

TEST_F(Timing, TheTraceHasOneLinePerCall) {
    // In a folder of its own: two suites at once must not share a name.
    std::string folder = testing::TempDir() + "tm-timing-XXXXXX";
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    std::string path = folder + "/sim_trace.txt";
    setenv("GPIB_SIM_TRACE", path.c_str(), 1);
    ASSERT_EQ(reload(""), 0);
    openBoard();
    Text q = FromUtf8("*IDN?\n");
    m_gpib.Send(0, 9, q, 2);
    m_gpib.Send(0, 3, q, 2);
    unsetenv("GPIB_SIM_TRACE");
    ASSERT_EQ(reload(""), 0);  // closes the trace
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    std::string t = all.str();
    EXPECT_NE(t.find("# simulated bench, built-in bench (instant timing)\n"), std::string::npos)
        << t;
    EXPECT_NE(t.find("ibfind(\"GPIB0\") = 0  ibsta=0x0100 iberr=0 ibcntl=0"), std::string::npos)
        << t;
    EXPECT_NE(t.find("SendIFC(0) = void  ibsta=0x0130"), std::string::npos) << t;
    size_t send =
        t.find("Send(0, 0x0009, \"*IDN?\\n\", 6, 2) = void  ibsta=0x0128 iberr=0 ibcntl=6  ");
    ASSERT_NE(send, std::string::npos) << t;
    EXPECT_EQ(t.substr(t.find('\n', send) - 3, 4), " us\n");  // then the bus time it took
    EXPECT_NE(t.find("Send(0, 0x0003, \"*IDN?\\n\", 6, 2) = void  ibsta=0x8130 iberr=2 ibcntl=0"),
              std::string::npos)
        << t;
    std::filesystem::remove_all(folder);
}

}  // namespace
