#pragma once
// The window after a start-up that found one instrument at address 9 (the
// controller at 0): ready to talk, with the default boxes (LF appended, reads
// stop at LF, Auto Query on).

#include <string>

#include "window/scripted_window.h"

inline constexpr int kEnd = 0x2000;

class DeviceWindowTest : public ScriptedWindowTest {
  protected:
    DeviceWindowTest() {
        scripted::Push("FindLstn", listeners({9}, 1));
        form().load();
        forgetCalls();
        platform.beeps = 0;
    }

    // What the instrument says to the next read, ended with EOI.
    static void answer(const std::string& bytes) {
        scripted::Outcome o;
        o.data = bytes;
        o.ibsta = kCmpl | kEnd;
        scripted::Push("Receive", o);
    }

    void type(const Text& command) { w().combCmd.setText(command); }
    void key(int16_t code) { w().combCmd.keyPress.fire(code); }
};
