#pragma once
// A check box: value 0 clear, 1 ticked, 2 greyed. A new value fires click at
// once, by the operator or in code; the value it already has fires nothing.

#include "controls/control.h"
#include "controls/event.h"

class CheckBox : public Control {
  public:
    explicit CheckBox(const ControlDescription& spec) : Control(spec), m_value(spec.value) {}

    int value() const { return m_value; }
    // Ticked in the sense most handlers read it: value exactly 1.
    bool checked() const { return m_value == 1; }
    void setValue(int value);
    // Changes the value without running the click handler. Only for the one
    // place where a box is cleared as a side effect of another box's click.
    void setValueSilently(int value);

    Event<> click;

  private:
    int m_value;
};
