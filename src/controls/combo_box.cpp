#include "controls/combo_box.h"

void ComboBox::setText(const std::u16string& text) {
    if (m_text == text) {
        return;
    }
    m_text = text;
    // The text part no longer shows the selected entry once it differs from it.
    if (m_listIndex >= 0 && m_items[static_cast<size_t>(m_listIndex)] != text) {
        m_listIndex = -1;
        notify(Property::ListIndex);
    }
    notify(Property::Text);
    change.fire();
}

void ComboBox::addItem(const std::u16string& item) {
    m_items.push_back(item);
    notify(Property::Items);
}

void ComboBox::setListIndex(int index) {
    if (index < -1 || index >= static_cast<int>(m_items.size()) || index == m_listIndex) {
        return;
    }
    m_listIndex = index;
    notify(Property::ListIndex);
    if (index >= 0) {
        setText(m_items[static_cast<size_t>(index)]);
    }
}
