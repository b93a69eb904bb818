#pragma once
// A text box. Writing its text, by the operator or by a handler, fires its
// change event at once; writing the text it already holds fires nothing.

#include "controls/control.h"
#include "controls/event.h"

class TextBox : public Control {
  public:
    explicit TextBox(const ControlDescription& spec) : Control(spec) {}

    const std::u16string& text() const { return m_text; }
    void setText(const std::u16string& text);

    Event<> change;

  private:
    std::u16string m_text;
};
