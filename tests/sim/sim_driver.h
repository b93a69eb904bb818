#pragma once
// The simulated bench as the program reaches it: the built library, opened
// by the call layer's loader and called through GPIB32. Each test loads the
// bench it needs with GpibSimReload (the library holds one bench per process).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "bundled/gpib_sim.h"
#include "gpib/gpib32.h"
#include "support/scratch_dir.h"

namespace simtest {

inline std::string benchFile(const std::string& name) {
    return std::string(SIM_BENCHES) + "/" + name;
}

// Writes text to a file of the test's own scratch folder and returns its path.
inline std::string writeBench(const std::string& name, const std::string& text) {
    std::string path = testscratch::path(name);
    std::ofstream(path) << text;
    return path;
}

class SimDriver : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_library->Loaded()) << m_library->Problem();
        setenv("GPIB_SIM_INSTANT", "1", 1);
    }
    // "" for the built-in bench.
    int reload(const std::string& path) {
        auto fn = reinterpret_cast<GpibSimReload_fn>(m_library->Resolve({"GpibSimReload"}));
        EXPECT_NE(fn, nullptr);
        return fn ? fn(path.c_str()) : -1;
    }
    std::string description() { return m_library->Description(); }

    // Opens the board the way start-up does.
    void openBoard(int16_t board = 0) {
        m_gpib.ibfind(FromUtf8("GPIB" + std::to_string(board)));
        m_gpib.SendIFC(board);
        m_gpib.ibsre(board, 1);
        ASSERT_EQ(m_gpib.ibsta & GPIB_ERR, 0) << m_gpib.iberr;
    }
    std::string ask(int16_t addr, const std::string& query) {
        Text q = FromUtf8(query + "\n");
        m_gpib.Send(0, addr, q, GPIB_DABend);
        Text buf(100, u' ');
        m_gpib.Receive(0, addr, buf, 10);
        if (m_gpib.ibsta & GPIB_ERR)
            return "<error " + std::to_string(m_gpib.iberr) + ">";
        return ToCodePage(TextView(buf).substr(0, size_t(m_gpib.ibcntl)));
    }

    std::unique_ptr<DriverLibrary> m_library = DriverLibrary::Open(GPIB_SIM_LIBRARY);
    GPIB32 m_gpib{*m_library};
};

}  // namespace simtest
