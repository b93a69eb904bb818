// What the environment can hand the program: a GPIB_LIBRARY that names no
// library, no driver or half a driver, and bench files that are broken in
// every way. Each ends in a report and a title that says what is wrong, never
// a crash, and the window stays usable.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "reliability/sim_window.h"
#include "support/scripted_driver.h"

namespace {

namespace fs = std::filesystem;

const std::string kNoDriverReport =
    "ibfind error,  ibsta = &H8000 <  ERR  >, iberr =  0 EDVR <Op System Error>, ibcnt =  0";
// A refused bench leaves the count of the calling thread's last call alone.
const std::string kNoBenchReport =
    "ibfind error,  ibsta = &H8000 <  ERR  >, iberr =  0 EDVR <Op System Error>, ibcnt = ";

struct LibraryCase {
    const char* name;
    std::string library;  // what GPIB_LIBRARY names
    std::string report;   // the start-up report
    std::string title;    // how the caption note begins
    // What choosing another board then shows: the board is not found, or,
    // with half a driver, the search stops at the first missing entry point.
    std::string selection = "Selected GPIB Controller not found\r\nSelect another Controller Name";
};

class NamedLibrary : public ::testing::TestWithParam<LibraryCase> {
  protected:
    void TearDown() override { unsetenv("GPIB_LIBRARY"); }
};

TEST_P(NamedLibrary, IsReportedAndNothingElseStandsIn) {
    const LibraryCase& c = GetParam();
    scripted::Reset();
    setenv("GPIB_LIBRARY", c.library.c_str(), 1);
    auto library = DriverLibrary::Locate(fs::path(SIM_LIBRARY).parent_path().string());
    GPIB32 gpib(*library);
    RecordingPlatform platform;
    Form1 form(gpib, platform);
    form.load();
    Window& w = form.window();
    EXPECT_EQ(ToUtf8(w.txtError.text()), c.report);
    EXPECT_TRUE(w.txtError.visible());
    EXPECT_EQ(ToUtf8(w.form.captionNote()).rfind(c.title, 0), 0u) << ToUtf8(w.form.captionNote());
    // Still an operator's window: another board can be tried, and nothing else
    // is reachable until one opens.
    EXPECT_TRUE(w.cmdSetIName.enabled());
    EXPECT_FALSE(w.cmdSend.enabled());
    w.combIntfcName.setText(u"GPIB1");
    w.cmdSetIName.press();
    EXPECT_TRUE(w.txtError.visible());
    EXPECT_EQ(ToUtf8(w.txtResults.text()), c.selection);
}

INSTANTIATE_TEST_SUITE_P(
    Every, NamedLibrary,
    ::testing::Values(
        LibraryCase{"MissingFile", "/nonexistent/libgpib.so.0", kNoDriverReport,
                    "GPIB driver library not found: tried /nonexistent/libgpib.so.0"},
        LibraryCase{"NotALibrary", SCRIPTED_NOT_A_LIBRARY, kNoDriverReport,
                    std::string("GPIB driver library ") + SCRIPTED_NOT_A_LIBRARY +
                        " could not be loaded: "},
        LibraryCase{"NoDriver", "libm.so.6", kNoDriverReport,
                    "libm.so.6 is not a GPIB driver library: entry point ThreadIbsta not found"},
        // ibfind is there; ibask, the next call of start-up, is not.
        LibraryCase{"HalfADriver", SCRIPTED_PARTIAL_LIBRARY,
                    "ibask error,  ibsta = &H8000 <  ERR  >, iberr =  0 EDVR <Op System Error>, "
                    "ibcnt =  0",
                    SCRIPTED_PARTIAL_LIBRARY, "FindLstn: Wait while looking for devices"}),
    [](const auto& info) { return info.param.name; });

TEST(NamedLibrary, HalfADriverNamesTheMissingEntryPoint) {
    setenv("GPIB_LIBRARY", SCRIPTED_PARTIAL_LIBRARY, 1);
    auto library = DriverLibrary::Locate("");
    unsetenv("GPIB_LIBRARY");
    GPIB32 gpib(*library);
    RecordingPlatform platform;
    Form1 form(gpib, platform);
    form.load();
    const std::string title = ToUtf8(form.window().form.captionNote());
    EXPECT_NE(title.find(std::string("entry point ibask not found in ") + SCRIPTED_PARTIAL_LIBRARY),
              std::string::npos)
        << title;
}

// Bench files broken in every way: refused with the reason, every call fails,
// and a good bench served afterwards works.
struct BenchCase {
    const char* name;
    std::string (*contents)();
    const char* reason;  // part of the refusal
};

std::string truncated() {
    const std::string good = BenchText();
    return good.substr(0, good.find("dialogues:") + 16);
}
std::string binary() {
    std::mt19937 random(488);
    std::string bytes(64 * 1024, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    return bytes;
}
std::string deeplyNested() {
    return "devices: " + std::string(100000, '[') + std::string(100000, ']') + "\n";
}
std::string enormous() {
    std::string text = BenchText() + "# ";
    text.resize(5 * 1024 * 1024, 'x');
    return text + "\n";
}
class BrokenBench : public ::testing::TestWithParam<BenchCase> {};

TEST_P(BrokenBench, IsRefusedAndTheNextGoodBenchWorks) {
    const BenchCase& c = GetParam();
    SimWindow broken(c.contents());
    if (!SimWindow::available()) {
        GTEST_SKIP() << broken.problem();
    }
    ASSERT_FALSE(broken.served());
    EXPECT_NE(broken.problem().find(c.reason), std::string::npos) << broken.problem();
    broken.load();
    EXPECT_EQ(broken.error().rfind(kNoBenchReport, 0), 0u) << broken.error();
    EXPECT_NE(ToUtf8(broken.w().form.captionNote()).find(c.reason), std::string::npos);

    SimWindow good(BenchText());
    ASSERT_TRUE(good.served()) << good.problem();
    good.load();
    good.setAddress(u"9");
    good.enter(u"*IDN?");
    EXPECT_EQ(good.results(), "FAULT BENCH,DMM,1,1.0");
}

INSTANTIATE_TEST_SUITE_P(Every, BrokenBench,
                         ::testing::Values(BenchCase{"Truncated", truncated, "line"},
                                           BenchCase{"Binary", binary, "NUL"},
                                           BenchCase{"DeeplyNested", deeplyNested, "line"},
                                           BenchCase{"Enormous", enormous, "MiB"}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
