// Every entry point of libgpib.so.0 on the built-in simulated bench, with the
// status linux-gpib documents for it: a success and a refusal each, one row
// a case, each on a fresh bench. Built against our gpib/ib.h and linked with
// the library, as a linux-gpib program is.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "entry_point_rows.h"

namespace {

using namespace entrytest;

std::vector<Row> allRows() {
    std::vector<Row> rows = traditionalRows();
    for (Row& r : routineRows()) rows.push_back(std::move(r));
    return rows;
}

class EntryPoint : public testing::TestWithParam<Row> {};

TEST_P(EntryPoint, HasItsDocumentedStatus) {
    setenv("GPIB_SIM_INSTANT", "1", 1);
    ASSERT_EQ(GpibSimReload(""), 0);
    const Row& row = GetParam();
    bool details = row.call();
    const int status = ThreadIbsta();
    EXPECT_TRUE(details) << "ibsta 0x" << std::hex << status << std::dec << " iberr " << iberr;
    EXPECT_EQ(status, ibsta) << "the global and the thread's status agree";
    if (row.iberr == kOk) {
        EXPECT_EQ(status & ERR, 0) << "iberr " << ThreadIberr() << " " << gpib_error_string(iberr);
    } else {
        EXPECT_EQ(status & ERR, ERR);
        EXPECT_EQ(ThreadIberr(), row.iberr) << gpib_error_string(ThreadIberr());
    }
    EXPECT_EQ(status & row.bits, row.bits) << "ibsta 0x" << std::hex << status;
}

INSTANTIATE_TEST_SUITE_P(LinuxGpib, EntryPoint, testing::ValuesIn(allRows()),
                         [](const testing::TestParamInfo<Row>& info) {
                             std::string n;
                             for (const char* c = info.param.name; *c; ++c)
                                 n += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return n;
                         });

TEST(ErrorString, NamesEachCode) {
    const int codes[] = {EDVR, ECIC, ENOL, EADR, EARG, ESAC, EABO, ENEB,
                         EDMA, EOIP, ECAP, EFSO, EBUS, ESTB, ESRQ, ETAB};
    const char* names[] = {"EDVR", "ECIC", "ENOL", "EADR", "EARG", "ESAC", "EABO", "ENEB",
                           "EDMA", "EOIP", "ECAP", "EFSO", "EBUS", "ESTB", "ESRQ", "ETAB"};
    for (size_t i = 0; i < std::size(codes); ++i)
        EXPECT_EQ(std::string(gpib_error_string(codes[i])).rfind(names[i], 0), 0u) << codes[i];
    EXPECT_STREQ(gpib_error_string(99), "unknown error");
}

}  // namespace
