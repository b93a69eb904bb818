#pragma once
// The window on the scripted driver, loaded through the real loader, with a
// recording platform: the fixture of the toolkit-free handler tests.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "support/scripted_driver.h"
#include "ui/form1.h"
#include "window/recording_platform.h"

inline constexpr int kCmpl = 0x0100;
inline constexpr int kErr = 0x8000;

class ScriptedWindowTest : public ::testing::Test {
  protected:
    ScriptedWindowTest() {
        scripted::Reset();
        m_library = DriverLibrary::Open(scripted::LibraryPath());
        m_gpib = std::make_unique<GPIB32>(*m_library);
        m_form = std::make_unique<Form1>(*m_gpib, platform);
    }

    Window& w() { return m_form->window(); }
    Form1& form() { return *m_form; }
    GPIB32& gpib() { return *m_gpib; }

    // Forgets the calls made so far (keeps the scripted outcomes).
    void forgetCalls() { m_skip = scripted::CallLines().size(); }
    std::vector<std::string> calls() const {
        std::vector<std::string> all = scripted::CallLines();
        return {all.begin() + static_cast<std::ptrdiff_t>(m_skip), all.end()};
    }

    static scripted::Outcome failing(int iberr = 0, int ibsta = kErr) {
        scripted::Outcome o;
        o.ibsta = ibsta;
        o.iberr = iberr;
        return o;
    }
    static scripted::Outcome listeners(std::vector<int> words, long count) {
        scripted::Outcome o;
        o.words = std::move(words);
        o.ibcntl = count;
        return o;
    }

    RecordingPlatform platform;

  private:
    std::unique_ptr<DriverLibrary> m_library;
    std::unique_ptr<GPIB32> m_gpib;
    std::unique_ptr<Form1> m_form;
    size_t m_skip = 0;
};
