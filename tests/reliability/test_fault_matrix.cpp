// Every failure the window reports, provoked on the simulated bench: the exact
// text, the box it lands in, the beep, and nothing else changed.

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "reliability/fault_row.h"

namespace {

std::vector<FaultRow> allRows() {
    std::vector<FaultRow> rows;
    for (auto part : {StartUpRows, SelectionRows, DeviceAddressRows, TimeoutRenRows, MessagingRows,
                      LoopRows, ListenerRows, PollRows, BusCommandRows}) {
        for (FaultRow& row : part()) rows.push_back(std::move(row));
    }
    return rows;
}

const std::vector<FaultRow>& rows() {
    static const std::vector<FaultRow> all = allRows();
    return all;
}

// The reports the rows expect in the error box.
std::vector<std::string> expectedReports() {
    std::vector<std::string> out;
    for (const FaultRow& row : rows()) {
        for (const Change& c : row.changes) {
            if (c.field == "txtError.text") {
                out.push_back(c.value);
            }
        }
    }
    return out;
}

class FaultMatrix : public ::testing::TestWithParam<FaultRow> {};

TEST_P(FaultMatrix, ReportsExactlyAndChangesNothingElse) {
    const FaultRow& row = GetParam();
    SimWindow s(BenchText(row.gpib));
    if (!SimWindow::available()) {
        GTEST_SKIP() << s.problem();
    }
    ASSERT_TRUE(s.served()) << s.problem();
    Snapshot before;
    int beeps = 0;
    if (!row.act) {
        before = s.snapshot();
        s.load();
    } else {
        s.load();
        ASSERT_TRUE(s.w().cmdFindLstn.enabled()) << s.error();
        if (row.arrange) {
            row.arrange(s);
        }
        // Asking the board before the action would leave that call's count
        // in the status the report shows; after start-up it holds 3 s.
        before = s.snapshot();
        before["board0.timeout"] = "12";
        beeps = s.platform.beeps;
        row.act(s);
    }
    const Snapshot after = s.snapshot(row.act != nullptr);
    EXPECT_EQ(CompareSnapshots(before, after, row.changes), "");
    EXPECT_EQ(s.platform.beeps - beeps, row.beeps);
}

INSTANTIATE_TEST_SUITE_P(EveryFailure, FaultMatrix, ::testing::ValuesIn(rows()),
                         [](const auto& info) { return info.param.name; });

// Each error code of the report's table reaches the operator at least once.
TEST(FaultMatrixCoverage, EveryErrorCodeReachesTheOperator) {
    std::set<int> shown;
    const std::regex code(R"(, iberr = +(-?\d+))");
    for (const std::string& report : expectedReports()) {
        std::smatch m;
        if (std::regex_search(report, m, code)) {
            shown.insert(std::stoi(m[1]));
        }
    }
    for (int iberr : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 14, 15, 16, 20}) {
        EXPECT_TRUE(shown.count(iberr)) << "no row shows iberr " << iberr;
    }
}

// ... and so does every heading a handler reports under.
TEST(FaultMatrixCoverage, EveryHeadingReachesTheOperator) {
    std::set<std::string> shown;
    for (const std::string& report : expectedReports()) {
        const size_t end = report.find(",  ibsta = &H");
        if (end != std::string::npos) {
            shown.insert(report.substr(0, end));
        }
    }
    for (const char* heading :
         {"ibfind error", "ibask error", "ibpad error", "ibsre Error", "ibSRE Error", "ibtmo Error",
          "SendIFC error", "SendIFC Error", "ibdev Error", "ibln Error", "Send error",
          "Receive Error", "Receive error", "Trigger Error", "SPoll Error", "DevCLr Error",
          "FindLstn error", "AllSpoll error", "FindRQS Error"}) {
        EXPECT_TRUE(shown.count(heading)) << "no row reports under \"" << heading << "\"";
    }
}

}  // namespace
