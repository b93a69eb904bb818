#include "window/accessible_text.h"

#include "window/form_layout.h"

namespace {

// The controls that neither a caption of their own nor a frame's names. The
// loop count box is named by the label above it; the others are plain boxes
// and a picture that the operator recognises by their place and content.
struct NamedApart {
    const char* control;
    const char* label;  // the label that names it, or nullptr
    const char16_t* name;
    const char16_t* description;
};

constexpr NamedApart kNamedApart[] = {
    {"txtCount", "lblCount", u"", u""},
    {"txtError", nullptr, u"Error Message", u""},
    {"txtRev", nullptr, u"Revision", u""},
    {"ImageTarvel", nullptr, u"Tarvel Morrow logo", u"The program's logo"},
};

const ControlDescription* described(const std::string& name) {
    for (const ControlDescription& d : FormLayout()) {
        if (d.name == name) {
            return &d;
        }
    }
    return nullptr;
}

}  // namespace

AccessibleText AccessibleTextOf(const ControlDescription& control) {
    if (control.kind == ControlKind::Timer || control.kind == ControlKind::CommonDialog) {
        return {};  // nothing on the screen to name
    }
    for (const NamedApart& n : kNamedApart) {
        if (control.name != n.control) {
            continue;
        }
        if (n.label != nullptr) {
            const ControlDescription* label = described(n.label);
            return {label != nullptr ? label->caption : u"", n.description};
        }
        return {n.name, n.description};
    }
    if (!control.caption.empty()) {
        return {control.caption, {}};
    }
    const bool box = control.kind == ControlKind::TextBox || control.kind == ControlKind::ComboBox;
    if (box && !control.container.empty()) {
        if (const ControlDescription* frame = described(control.container)) {
            return {frame->caption, {}};
        }
    }
    return {};
}
