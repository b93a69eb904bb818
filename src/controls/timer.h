#pragma once
// A periodic timer with no visible part. The view drives it; tick() runs the
// timer event when the timer is enabled.

#include "controls/control.h"
#include "controls/event.h"

class Timer : public Control {
  public:
    explicit Timer(const ControlDescription& spec) : Control(spec) {}

    int interval() const { return spec().interval; }
    void tick() const {
        if (enabled()) {
            timer.fire();
        }
    }

    Event<> timer;
};
