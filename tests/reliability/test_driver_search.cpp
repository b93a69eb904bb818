// A driver library in the folder the program was started from is never
// loaded unless GPIB_LIBRARY names it: neither by the loader itself nor by
// the program, whose own library search path must not reach that folder.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "gpib/driver_library.h"
#include "support/scripted_driver.h"

namespace fs = std::filesystem;

namespace {

bool systemDriverInstalled() {
    for (const char* name : {"libgpib.so.0", "libni4882.so", "libgpibapi.so"}) {
        if (void* h = dlopen(name, RTLD_LAZY)) {
            dlclose(h);
            return true;
        }
    }
    return false;
}

// A working folder holding a driver under the platform driver's name.
class PlantedDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        if (systemDriverInstalled()) {
            GTEST_SKIP() << "a system GPIB driver is installed and would win anyway";
        }
        char pattern[] = "/tmp/tm-planted-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        fs::copy_file(scripted::LibraryPath(), m_dir / "libgpib.so.0");
        m_cwd = fs::current_path();
    }
    void TearDown() override {
        if (!m_dir.empty()) {
            fs::current_path(m_cwd);
            fs::remove_all(m_dir);
        }
    }
    fs::path m_dir;
    fs::path m_cwd;
};

TEST_F(PlantedDriver, TheLoaderPassesItBy) {
    unsetenv("GPIB_LIBRARY");
    fs::current_path(m_dir);
    auto library = DriverLibrary::Locate("/nonexistent");
    EXPECT_FALSE(library->Loaded()) << library->Path();
    EXPECT_EQ(library->Problem().rfind("GPIB driver library not found: tried libgpib.so.0, ", 0),
              0u);

    setenv("GPIB_LIBRARY", "./libgpib.so.0", 1);
    auto named = DriverLibrary::Locate("/nonexistent");
    unsetenv("GPIB_LIBRARY");
    EXPECT_TRUE(named->Loaded()) << named->Problem();
}

// The program as built, started from that folder with extra environment;
// what its ready probe printed.
std::string runProgram(const fs::path& dir, const std::string& env) {
    const std::string command = "cd '" + dir.string() +
                                "' && env -u GPIB_LIBRARY -u GPIB_SIM_BENCH -u GPIB_BOARDS " + env +
                                " QT_QPA_PLATFORM=offscreen GPIB_SIM_INSTANT=1 "
                                "TARVEL_MORROW_READY_PROBE=1 '" +
                                TM_PROGRAM + "' 2>/dev/null";
    FILE* out = popen(command.c_str(), "r");
    EXPECT_NE(out, nullptr);
    std::string text;
    std::array<char, 4096> chunk{};
    while (size_t n = out ? fread(chunk.data(), 1, chunk.size(), out) : 0)
        text.append(chunk.data(), n);
    EXPECT_EQ(out ? pclose(out) : -1, 0) << text;
    return text;
}

// Started from that folder the program serves the bundled bench beside it,
// whose start-up search finds the bench's four instruments (the planted
// driver would have found none).
TEST_F(PlantedDriver, TheProgramPassesItBy) {
    if (std::string(TM_PROGRAM).empty()) {
        GTEST_SKIP() << "this build has no program (TM_BUILD_GUI=OFF)";
    }
    EXPECT_NE(runProgram(m_dir, "").find("state: ready\nresults: FindLstn: Found 4 devices"),
              std::string::npos);
}

// Reached through the library search path, the planted driver is the
// platform's driver and wins over the bundled one; a board map puts the
// bundled driver first, since only it serves a map.
TEST_F(PlantedDriver, ABoardMapPutsTheBundledDriverFirst) {
    if (std::string(TM_PROGRAM).empty()) {
        GTEST_SKIP() << "this build has no program (TM_BUILD_GUI=OFF)";
    }
    const std::string path = "LD_LIBRARY_PATH='" + m_dir.string() + "'";
    EXPECT_NE(runProgram(m_dir, path).find("results: FindLstn: No devices found"),
              std::string::npos);
    const fs::path map = m_dir / "boards.yaml";
    std::ofstream(map) << "boards:\n  GPIB0: {kind: simulated}\n";
    EXPECT_NE(runProgram(m_dir, path + " GPIB_BOARDS='" + map.string() + "'")
                  .find("results: FindLstn: Found 4 devices"),
              std::string::npos);
}

}  // namespace
