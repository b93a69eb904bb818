#pragma once
// The toolkit-free window over the real call layer and the simulated bench,
// started up as the program starts it, for the handler, loop and search
// figures. The desktop does nothing: a repaint or a beep costs no more than
// the call.

#include <memory>
#include <string>

#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "sim_bench.h"
#include "ui/form1.h"
#include "window/platform.h"

class QuietPlatform : public Platform {
  public:
    void beep() override {}
    void repaint(const TextBox&) override {}
    void showHelp(const HelpRequest&) override {}
    void quit() override {}
    Text programFolder() const override { return u"/tmp"; }
};

class BenchWindow {
  public:
    // Serves benchFile and runs start-up; problem() is empty when the window
    // came up ready with a device selected.
    explicit BenchWindow(const std::string& benchFile) {
        if (!SimBench::get().serve(benchFile)) {
            m_problem = "the simulated bench did not serve " + benchFile;
            return;
        }
        m_library = DriverLibrary::Open(GPIB_SIM_LIBRARY);
        m_gpib = std::make_unique<GPIB32>(*m_library);
        m_form = std::make_unique<Form1>(*m_gpib, m_platform);
        m_form->load();
        if (w().txtError.visible())
            m_problem = "start-up failed: " + ToUtf8(w().txtError.text());
    }

    Window& w() { return m_form->window(); }
    const std::string& problem() const { return m_problem; }
    bool failed() const { return !m_problem.empty(); }

  private:
    QuietPlatform m_platform;
    std::unique_ptr<DriverLibrary> m_library;
    std::unique_ptr<GPIB32> m_gpib;
    std::unique_ptr<Form1> m_form;
    std::string m_problem;
};
