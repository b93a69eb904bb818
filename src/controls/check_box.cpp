#include "controls/check_box.h"

void CheckBox::setValue(int value) {
    if (m_value == value) {
        return;
    }
    m_value = value;
    notify(Property::Value);
    click.fire();
}

void CheckBox::setValueSilently(int value) {
    if (m_value == value) {
        return;
    }
    m_value = value;
    notify(Property::Value);
}
