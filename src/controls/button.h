#pragma once
// A command button. click() is the press itself: the view calls it for the
// operator's click (a disabled widget delivers none), a handler may call it
// to run another button's action.

#include "controls/control.h"
#include "controls/event.h"

class Button : public Control {
  public:
    explicit Button(const ControlDescription& spec) : Control(spec) {}

    Event<> click;

    void press() const { click.fire(); }
};
