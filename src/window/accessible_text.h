#pragma once
// What a screen reader says for each control of the window: the name a
// sighted operator reads beside it, and a description where the tooltip does
// not give one. It comes from the window's description: a control with a
// caption is named by it, a box inside a frame by the frame's caption, and
// the few boxes that no caption names carry a name of their own here.

#include <string>

#include "controls/control_description.h"

struct AccessibleText {
    std::u16string name;         // empty for controls without a visible part
    std::u16string description;  // empty: the tooltip, if any, describes it
};

// For a control of FormLayout(); its frame and label are found there by name.
AccessibleText AccessibleTextOf(const ControlDescription& control);
