#pragma once
// A window on the simulated bench, reached through the real loader as the
// program reaches it. Each SimWindow serves its own bench, given as text, so
// a test states the whole bench it relies on, faults and all.

#include <memory>
#include <string>

#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "reliability/window_snapshot.h"
#include "ui/form1.h"
#include "window/recording_platform.h"

// The bench most tests start from: GPIB0 (controller at 0) with a 488.2
// multimeter at 9, and GPIB1 with one at 3. gpib holds the lines of the
// bench's gpib section (faults:, instruments:, boards: ...), each indented by
// two blanks; without a boards: list of its own, both boards are there.
std::string BenchText(const std::string& gpib = "");

class SimWindow {
  public:
    // Serves bench (YAML text) and builds a fresh window on it; load() runs
    // start-up. served() is false, and problem() says why, when the bench
    // was refused or the simulated bench is not part of the build.
    explicit SimWindow(const std::string& bench);
    ~SimWindow();

    bool served() const { return m_served; }
    const std::string& problem() const { return m_problem; }
    static bool available();

    void load() { m_form->load(); }
    Window& w() { return m_form->window(); }
    GPIB32& gpib() { return *m_gpib; }
    // With askBoard, also the timeout of GPIB0 as the driver has it
    // ("board0.timeout"); asking is a driver call, so start-up rows do not.
    Snapshot snapshot(bool askBoard = false);

    // What the operator does: type an address and press Set; type a command
    // and press Enter; choose a board by name.
    void setAddress(const char16_t* address);
    void enter(const Text& command);
    void chooseBoard(const char16_t* name);
    // The board's timeout code as the driver has it now.
    int boardTimeout();

    std::string results() { return ToUtf8(w().txtResults.text()); }
    std::string error() { return w().txtError.visible() ? ToUtf8(w().txtError.text()) : ""; }

    RecordingPlatform platform;

  private:
    bool m_served = false;
    std::string m_problem;
    std::unique_ptr<GPIB32> m_gpib;
    std::unique_ptr<Form1> m_form;
};

// The shared loaded simulated bench (nullptr when this build has none).
DriverLibrary* SimLibrary();
// Serves a bench file by path: 0, or -1 when refused.
int ServeBenchFile(const std::string& path);
