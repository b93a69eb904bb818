#pragma once
// A drop-down combo box with an editable text part. Its list only grows
// (addItem); selecting an entry puts that entry into the text part.

#include <cstdint>
#include <vector>

#include "controls/control.h"
#include "controls/event.h"

class ComboBox : public Control {
  public:
    explicit ComboBox(const ControlDescription& spec) : Control(spec) {}

    const std::u16string& text() const { return m_text; }
    // Same rule as a text box: a new text fires change, the same text nothing.
    void setText(const std::u16string& text);

    const std::vector<std::u16string>& items() const { return m_items; }
    void addItem(const std::u16string& item);
    int listIndex() const { return m_listIndex; }
    // Selects entry index (-1: none) and shows it in the text part. An index
    // outside the list is ignored.
    void setListIndex(int index);

    Event<> change;
    // The character code of each key typed into the box; the handler may
    // change it (0 swallows the key).
    Event<int16_t&> keyPress;

  private:
    std::u16string m_text;
    std::vector<std::u16string> m_items;
    int m_listIndex = -1;
};
