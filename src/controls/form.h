#pragma once
// The window itself: its caption, client size and icon come from its
// description. The caption note is our own addition after the caption (the
// driver in use), so the fixed caption text itself never changes.

#include "controls/control.h"
#include "controls/event.h"

class Form : public Control {
  public:
    explicit Form(const ControlDescription& spec) : Control(spec) {}

    const std::u16string& captionNote() const { return m_captionNote; }
    void setCaptionNote(const std::u16string& note) {
        if (m_captionNote != note) {
            m_captionNote = note;
            notify(Property::Caption);
        }
    }
    // The caption as the title bar shows it.
    std::u16string title() const {
        return m_captionNote.empty() ? caption() : caption() + u" \u2014 " + m_captionNote;
    }

    // A double click on the window's background, not on a control.
    Event<> dblClick;

  private:
    std::u16string m_captionNote;
};
