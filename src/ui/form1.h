#pragma once
// Form1: owns the window (controls and variables) and wires each control
// event to its handler. Toolkit-free; the Qt view renders it.

#include "window/window.h"

class Form1 {
  public:
    Form1(GPIB32& gpib, Platform& platform);
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    Window& window() { return m_window; }
    const Window& window() const { return m_window; }

    // Runs Form_Load; the program calls it before the window is first shown.
    void load();

    // Shows the driver in use after the caption, and the loader's latest
    // problem when a library or an entry point could not be found, and why
    // the trace file is not written when GPIB_TRACE names one that cannot be.
    void refreshDriverNote();

  private:
    void wire();
    // Runs handler on this window whenever event fires.
    template <typename... Args>
    void hook(Event<Args...>& event, void (*handler)(Window&, Args...));

    Window m_window;
};
