#include "controls/option_group.h"

void OptionButton::setValue(bool value) {
    if (m_value == value) {
        return;
    }
    if (value) {
        m_group.select(*this);
        return;
    }
    m_value = false;
    notify(Property::Value);
}

OptionGroup::OptionGroup(const std::string& name,
                         const std::vector<const ControlDescription*>& specs)
    : m_name(name) {
    for (const ControlDescription* spec : specs) {
        m_options.push_back(std::make_unique<OptionButton>(*spec, *this));
    }
}

int OptionGroup::selected() const {
    for (const auto& option : m_options) {
        if (option->m_value) {
            return option->index();
        }
    }
    return -1;
}

void OptionGroup::select(OptionButton& chosen) {
    for (const auto& option : m_options) {
        if (option.get() != &chosen && option->m_value) {
            option->m_value = false;
            option->notify(Property::Value);
        }
    }
    chosen.m_value = true;
    chosen.notify(Property::Value);
    click.fire(chosen.index());
}
