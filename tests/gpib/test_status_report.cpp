#include <gtest/gtest.h>

#include <map>

#include "gpib/gpib32.h"

namespace {

// No driver is needed: the report reads only the status variables.
std::string report(const char* heading, int ibsta, int iberr, int32_t ibcntl) {
    static auto library = DriverLibrary::Open("/nonexistent/libnone.so");
    GPIB32 gpib(*library);
    gpib.ibsta = static_cast<int16_t>(ibsta);
    gpib.iberr = static_cast<int16_t>(iberr);
    gpib.ibcnt = 12345;  // never shown: the report uses the full count
    gpib.ibcntl = ibcntl;
    Text text = FromUtf8(heading);
    gpib.FormatStatusReport(text);
    EXPECT_EQ(gpib.StatusReport, text);
    EXPECT_EQ(gpib.ibsta, static_cast<int16_t>(ibsta));
    return ToUtf8(text);
}

struct ReportCase {
    const char* heading;
    int ibsta, iberr;
    int32_t ibcntl;
    const char* report;
};

class StatusReportTest : public testing::TestWithParam<ReportCase> {};

TEST_P(StatusReportTest, BuildsTheOneLineReport) {
    const ReportCase& c = GetParam();
    EXPECT_EQ(report(c.heading, c.ibsta, c.iberr, c.ibcntl), c.report);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusReportTest,
    testing::Values(
        ReportCase{"Trigger Error", 0x8100, 2, 0,
                   "Trigger Error,  ibsta = &H8100 <  ERR CMPL  >, iberr =  2 ENOL <No "
                   "Listener>, ibcnt =  0"},
        ReportCase{"Send error", 0x8000, 0, 0,
                   "Send error,  ibsta = &H8000 <  ERR  >, iberr =  0 EDVR <Op System Error>, "
                   "ibcnt =  0"},
        ReportCase{"ibfind error", 0, 0, 0,
                   "ibfind error,  ibsta = &H0 <   >, iberr =  0 EDVR <Op System Error>, ibcnt "
                   "=  0"},
        ReportCase{"x", 0xFFFF, 1, 1,
                   "x,  ibsta = &HFFFF <  ERR TIMO END SRQI RQS SPOLL EVENT CMPL LOK REM CIC "
                   "ATN TACS LACS DTAS DCAS  >, iberr =  1 ECIC <Not CIC>, ibcnt =  1"},
        ReportCase{"h", 0x0100, 8, -5, "h,  ibsta = &H100 <  CMPL  >, iberr =  8, ibcnt = -5"},
        ReportCase{"h", 0x8001, -1, 70000,
                   "h,  ibsta = &H8001 <  ERR DCAS  >, iberr = -1, ibcnt =  70000"}));

TEST(StatusReport, ErrorTextForEveryCode) {
    const std::map<int, std::string> texts = {
        {0, " EDVR <Op System Error>"},   {1, " ECIC <Not CIC>"},
        {2, " ENOL <No Listener>"},       {3, " EADR <Address error>"},
        {4, " EARG <Invalid argument>"},  {5, " ESAC <Not Sys Ctrlr>"},
        {6, " EABO <Operation aborted>"}, {7, " ENEB <No GPIB board>"},
        {10, " EOIP <Async I/O in prg>"}, {11, " ECAP <No capability>"},
        {12, " EFSO <File sys. error>"},  {14, " EBUS <Command error>"},
        {15, " ESTB <Status byte lost>"}, {16, " ESRQ <SRQ stuck on>"},
        {20, " ETAB <Table Overflow>"}};
    for (int code : {-32768, -2, 0,  1,  2,  3,  4,  5,  6,  7,  8,  9,    10,
                     11,     12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 32767}) {
        auto text = texts.find(code);
        const std::string expected = "E,  ibsta = &H8000 <  ERR  >, iberr = " +
                                     ToUtf8(NumberText(static_cast<long long>(code))) +
                                     (text == texts.end() ? "" : text->second) + ", ibcnt =  0";
        EXPECT_EQ(report("E", 0x8000, code, 0), expected) << code;
    }
}

TEST(StatusReport, KeepsTheLastReportUntilTheNextOne) {
    auto library = DriverLibrary::Open("/nonexistent/libnone.so");
    GPIB32 gpib(*library);
    EXPECT_TRUE(gpib.StatusReport.empty());
    Text first = u"first";
    gpib.FormatStatusReport(first);
    gpib.Trigger(0, 9);  // a failed call builds no report of its own
    EXPECT_EQ(gpib.StatusReport, first);
}

}  // namespace
