#include "reliability/sim_window.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bundled/gpib_sim.h"

namespace {

const char* const kBase = R"(spec: "1.1"
devices:
  dmm:
    eom:
      GPIB INSTR: {q: "\n", r: "\n"}
    error: ERROR
    dialogues:
      - {q: "*IDN?", r: "FAULT BENCH,DMM,1,1.0"}
      - {q: "READ?", r: "+1.5"}
resources:
  GPIB0::9::INSTR: {device: dmm}
  GPIB1::3::INSTR: {device: dmm}
gpib:
)";

const char* const kBoards = R"(  boards:
    - {index: 0, name: GPIB0, pad: 0}
    - {index: 1, name: GPIB1, pad: 0}
)";

std::filesystem::path benchFile() {
    return std::filesystem::temp_directory_path() /
           ("tm-reliability-" + std::to_string(getpid()) + ".yaml");
}

}  // namespace

std::string BenchText(const std::string& gpib) {
    const bool ownBoards = gpib.find("  boards:") != std::string::npos;
    return std::string(kBase) + (ownBoards ? "" : kBoards) + gpib;
}

DriverLibrary* SimLibrary() {
    static std::unique_ptr<DriverLibrary> library = [] {
        const std::string path = SIM_LIBRARY;
        setenv("GPIB_SIM_INSTANT", "1", 0);
        unsetenv("GPIB_SIM_TRACE");
        return path.empty() ? nullptr : DriverLibrary::Open(path);
    }();
    return library && library->Loaded() ? library.get() : nullptr;
}

bool SimWindow::available() {
    return SimLibrary() != nullptr;
}

int ServeBenchFile(const std::string& path) {
    DriverLibrary* library = SimLibrary();
    if (!library) {
        return -1;
    }
    auto reload = reinterpret_cast<GpibSimReload_fn>(library->Resolve({"GpibSimReload"}));
    return reload ? reload(path.c_str()) : -1;
}

SimWindow::SimWindow(const std::string& bench) {
    DriverLibrary* library = SimLibrary();
    if (!library) {
        m_problem = "the simulated bench (target tm-gpib) is not part of this build";
        return;
    }
    const std::filesystem::path file = benchFile();
    std::ofstream(file, std::ios::binary) << bench;
    m_served = ServeBenchFile(file.string()) == 0;
    if (!m_served) {
        m_problem = library->Description();
    }
    m_gpib = std::make_unique<GPIB32>(*library);
    m_form = std::make_unique<Form1>(*m_gpib, platform);
}

SimWindow::~SimWindow() {
    std::error_code ignored;
    std::filesystem::remove(benchFile(), ignored);
}

void SimWindow::setAddress(const char16_t* address) {
    w().txtAddr.setText(address);
    w().cmdSet.press();
}

void SimWindow::enter(const Text& command) {
    w().combCmd.setText(command);
    int16_t code = 13;
    w().combCmd.keyPress.fire(code);
}

void SimWindow::chooseBoard(const char16_t* name) {
    w().combIntfcName.setText(name);
    w().cmdSetIName.press();
}

Snapshot SimWindow::snapshot(bool askBoard) {
    Snapshot s = TakeSnapshot(w());
    if (askBoard) {
        int16_t code = -1;
        constexpr int16_t kTimeoutOption = 3;
        m_gpib->ibask(0, kTimeoutOption, code);
        s["board0.timeout"] = std::to_string(code);
    }
    return s;
}

int SimWindow::boardTimeout() {
    int16_t code = -1;
    constexpr int16_t kTimeoutOption = 3;
    m_gpib->ibask(w().bud, kTimeoutOption, code);
    return code;
}
