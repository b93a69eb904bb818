#include "controls/control.h"

void Control::setEnabled(bool enabled) {
    if (m_enabled == enabled) {
        return;
    }
    m_enabled = enabled;
    notify(Property::Enabled);
}

void Control::setVisible(bool visible) {
    if (m_visible == visible) {
        return;
    }
    m_visible = visible;
    notify(Property::Visible);
}

void Control::notify(Property property) {
    if (m_observer) {
        m_observer(*this, property);
    }
}
