#pragma once
// An indexed group of option buttons sharing one name and one click event
// that receives the index. At most one option is selected. Selecting one that
// was not selected clears the others and fires click(index) at once, also in
// code; selecting the selected one, or clearing one, fires nothing.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/control.h"
#include "controls/event.h"

class OptionGroup;

class OptionButton : public Control {
  public:
    OptionButton(const ControlDescription& spec, OptionGroup& group)
        : Control(spec), m_group(group) {}

    int16_t index() const { return static_cast<int16_t>(spec().index); }
    bool value() const { return m_value; }
    void setValue(bool value);

  private:
    friend class OptionGroup;
    OptionGroup& m_group;
    bool m_value = false;
};

class OptionGroup {
  public:
    // specs: the options in index order, all with the same name.
    OptionGroup(const std::string& name, const std::vector<const ControlDescription*>& specs);

    const std::string& name() const { return m_name; }
    int size() const { return static_cast<int>(m_options.size()); }
    OptionButton& operator()(int index) { return *m_options.at(static_cast<size_t>(index)); }
    const OptionButton& operator()(int index) const {
        return *m_options.at(static_cast<size_t>(index));
    }
    // Index of the selected option, -1 when none.
    int selected() const;

    Event<int16_t> click;

  private:
    friend class OptionButton;
    void select(OptionButton& option);

    std::string m_name;
    std::vector<std::unique_ptr<OptionButton>> m_options;
};
