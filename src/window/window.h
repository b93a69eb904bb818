#pragma once
// What every action shares: the controls, the window variables, the driver
// module and the platform. Handlers are free functions taking a Window&.

#include "gpib/gpib32.h"
#include "window/form_controls.h"
#include "window/platform.h"
#include "window/session_state.h"

class Window : public FormControls, public SessionState {
  public:
    Window(GPIB32& driver, Platform& desktop) : gpib(driver), platform(desktop) {}

    GPIB32& gpib;
    Platform& platform;

    // The last driver call failed: the error bit of ibsta is set.
    bool failed() const;
    // Builds the status report under heading, puts it into txtError and shows it.
    void reportError(const Text& heading);
    // The device guard: with no device selected, says so, beeps and returns
    // false; the caller then makes no driver call.
    bool deviceGuard();
};
