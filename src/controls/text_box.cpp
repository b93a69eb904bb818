#include "controls/text_box.h"

void TextBox::setText(const std::u16string& text) {
    if (m_text == text) {
        return;
    }
    m_text = text;
    notify(Property::Text);
    change.fire();
}
