// Finding the driver library, and what the wrappers do when a library or an
// entry point is missing.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "gpib/gpib32.h"
#include "support/scripted_driver.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

void expectMissingCallStatus(const GPIB32& gpib) {
    EXPECT_EQ(gpib.ibsta, static_cast<int16_t>(0x8000));
    EXPECT_EQ(gpib.iberr, 0);
    EXPECT_EQ(gpib.ibcnt, 0);
    EXPECT_EQ(gpib.ibcntl, 0);
}

// A scratch folder, and the environment and working folder put back after.
class LocateTest : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/gpib-locate-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_cwd = fs::current_path();
        unsetenv("GPIB_LIBRARY");
    }
    void TearDown() override {
        fs::current_path(m_cwd);
        unsetenv("GPIB_LIBRARY");
        fs::remove_all(m_dir);
    }
    static bool systemDriverInstalled() {
        for (const char* name : {"libgpib.so.0", "libni4882.so", "libgpibapi.so"}) {
            if (void* h = dlopen(name, RTLD_LAZY)) {
                dlclose(h);
                return true;
            }
        }
        return false;
    }
    // A copy, not a link: the loader must open this very file.
    std::string copyOfScripted(const std::string& name) {
        const fs::path target = m_dir / name;
        fs::copy_file(scripted::LibraryPath(), target);
        return target.string();
    }
    fs::path m_dir;
    fs::path m_cwd;
};

TEST_F(LocateTest, GpibLibraryComesFirst) {
    copyOfScripted("libtm-gpib.so");
    setenv("GPIB_LIBRARY", scripted::LibraryPath().c_str(), 1);
    auto library = DriverLibrary::Locate(m_dir.string());
    ASSERT_TRUE(library->Loaded()) << library->Problem();
    EXPECT_EQ(library->Path(), scripted::LibraryPath());
    EXPECT_EQ(library->Description(), scripted::LibraryPath() + " (scripted test driver)");
    EXPECT_TRUE(library->Problem().empty());
}

TEST_F(LocateTest, ANamedLibraryThatFailsIsNotReplacedByAnother) {
    copyOfScripted("libtm-gpib.so");
    setenv("GPIB_LIBRARY", "/nonexistent/libmine.so", 1);
    auto library = DriverLibrary::Locate(m_dir.string());
    EXPECT_FALSE(library->Loaded());
    EXPECT_EQ(library->Problem(), "GPIB driver library not found: tried /nonexistent/libmine.so");
}

TEST_F(LocateTest, BundledBenchBesideTheProgramComesLast) {
    if (systemDriverInstalled())
        GTEST_SKIP() << "a system GPIB driver is installed and wins";
    const std::string bench = copyOfScripted("libtm-gpib.so");
    auto library = DriverLibrary::Locate(m_dir.string());
    ASSERT_TRUE(library->Loaded()) << library->Problem();
    EXPECT_EQ(library->Path(), bench);
}

TEST_F(LocateTest, NothingFoundNamesEveryPlaceTried) {
    if (systemDriverInstalled())
        GTEST_SKIP() << "a system GPIB driver is installed and wins";
    auto library = DriverLibrary::Locate(m_dir.string());
    EXPECT_FALSE(library->Loaded());
    EXPECT_EQ(library->Problem(),
              "GPIB driver library not found: tried libgpib.so.0, libni4882.so, libgpibapi.so, " +
                  (m_dir / "libtm-gpib.so").string());
    EXPECT_EQ(library->Description(), "no GPIB driver library loaded");
}

TEST_F(LocateTest, ACandidateThatIsNoDriverIsSkippedAndNamed) {
    if (systemDriverInstalled())
        GTEST_SKIP() << "a system GPIB driver is installed and wins";
    const fs::path bench = m_dir / "libtm-gpib.so";
    fs::copy_file(SCRIPTED_NOT_A_LIBRARY, bench);
    auto library = DriverLibrary::Locate(m_dir.string());
    EXPECT_FALSE(library->Loaded());
    const std::string expected =
        "GPIB driver library not found: tried libgpib.so.0, "
        "libni4882.so, libgpibapi.so, " +
        bench.string() + "; GPIB driver library " + bench.string() + " could not be loaded: ";
    EXPECT_EQ(library->Problem().substr(0, expected.size()), expected);
}

TEST_F(LocateTest, ABareNameNeverComesFromTheWorkingFolder) {
    copyOfScripted("libgpib-cwd-only.so");
    fs::current_path(m_dir);
    auto bare = DriverLibrary::Open("libgpib-cwd-only.so");
    EXPECT_FALSE(bare->Loaded());
    EXPECT_EQ(bare->Problem(), "GPIB driver library not found: tried libgpib-cwd-only.so");
    auto relative = DriverLibrary::Open("./libgpib-cwd-only.so");
    EXPECT_TRUE(relative->Loaded()) << relative->Problem();
}

TEST(DriverLibrary, FilesThatAreNoDriverAreRefusedWithTheReason) {
    auto garbage = DriverLibrary::Open(SCRIPTED_NOT_A_LIBRARY);
    EXPECT_FALSE(garbage->Loaded());
    EXPECT_EQ(garbage->Problem().rfind(std::string("GPIB driver library ") +
                                           SCRIPTED_NOT_A_LIBRARY + " could not be loaded: ",
                                       0),
              0u)
        << garbage->Problem();
    // A real library found by the system search, but no GPIB driver.
    auto math = DriverLibrary::Open("libm.so.6");
    EXPECT_FALSE(math->Loaded());
    EXPECT_EQ(math->Problem(),
              "libm.so.6 is not a GPIB driver library: entry point ThreadIbsta not found");
}

TEST(DriverLibrary, WithoutALibraryEveryCallFailsWithoutCrashing) {
    auto library = DriverLibrary::Open("/nonexistent/libgpib.so");
    GPIB32 gpib(*library);
    const std::string problem = library->Problem();
    EXPECT_EQ(problem, "GPIB driver library not found: tried /nonexistent/libgpib.so");
    int16_t ud = 5, value = 7;
    EXPECT_EQ(gpib.ibfind(u"GPIB0", ud), -1);
    EXPECT_EQ(ud, -1);
    expectMissingCallStatus(gpib);
    gpib.ibsta = 0;
    EXPECT_EQ(gpib.ibask(0, 1, value), static_cast<int16_t>(0x8000));
    EXPECT_EQ(value, 7);
    expectMissingCallStatus(gpib);
    Text text = u"*IDN?\n";
    gpib.Send(0, 9, text, 2);
    gpib.Receive(0, 9, text, 10);
    EXPECT_EQ(text, Text(u"*IDN?\n"));
    expectMissingCallStatus(gpib);
    gpib.RefreshStatus();
    expectMissingCallStatus(gpib);
    EXPECT_EQ(library->Problem(), problem);
}

class PartialLibraryTest : public testing::Test {
  protected:
    void SetUp() override {
        scripted::Reset();
        ASSERT_TRUE(m_library->Loaded()) << m_library->Problem();
    }
    std::unique_ptr<DriverLibrary> m_library = DriverLibrary::Open(SCRIPTED_PARTIAL_LIBRARY);
    GPIB32 m_gpib{*m_library};
};

TEST_F(PartialLibraryTest, AMissingEntryPointFailsLikeADriverCall) {
    const std::string in = std::string(" not found in ") + SCRIPTED_PARTIAL_LIBRARY;
    scripted::Push("SendIFC", {.ibcntl = 40});
    m_gpib.SendIFC(0);
    EXPECT_EQ(m_gpib.ibcntl, 40);
    EXPECT_TRUE(m_library->Problem().empty());
    m_gpib.Trigger(0, 9);
    expectMissingCallStatus(m_gpib);
    EXPECT_EQ(m_library->Problem(), "entry point Trigger" + in);
    int16_t ud = 3;
    EXPECT_EQ(m_gpib.ibdev(0, 9, 0, 12, 1, 10, ud), -1);
    EXPECT_EQ(ud, -1);
    EXPECT_EQ(m_library->Problem(), "entry point ibdev" + in);
    m_gpib.Trigger(0, 9);  // still missing on the second try, and said again
    EXPECT_EQ(m_library->Problem(), "entry point Trigger" + in);
    EXPECT_EQ(scripted::CallLines(), (Lines{"SendIFC(0)"}));
}

TEST_F(PartialLibraryTest, AlternativeNamesAndIbconfigStandIns) {
    scripted::Push("ibfind", {.result = 2});
    scripted::Push("AllSPoll", {.words = {66}});
    EXPECT_EQ(m_gpib.ibfind(u"GPIB1"), 2);
    m_gpib.ibtmo(2, 12);
    m_gpib.ibpad(2, 5);
    m_gpib.ibsre(2, 1);
    std::vector<int16_t> list = {9, -1}, results(2, 0);
    m_gpib.AllSpoll(0, list, results);
    EXPECT_EQ(results[0], 66);
    EXPECT_EQ(scripted::CallLines(),
              (Lines{"ibfind(\"GPIB1\")", "ibconfig(2, 3, 12)", "ibconfig(2, 1, 5)",
                     "ibconfig(2, 11, 1)", "AllSPoll(0)"}));
    EXPECT_TRUE(m_library->Problem().empty()) << m_library->Problem();
}

TEST_F(PartialLibraryTest, WithoutThreadIbcntlTheIntCountIsWidened) {
    for (long count : {70000L, -5L}) {
        scripted::Push("SendIFC", {.ibcntl = count});
        m_gpib.SendIFC(0);
        EXPECT_EQ(m_gpib.ibcntl, count);
        EXPECT_EQ(m_gpib.ibcnt, static_cast<int16_t>(count));
    }
}

}  // namespace
