// The window as Qt hands it to a screen reader, without a bus: each widget's
// role, name and visibility, and the options checked as the model decides.
// The bus itself and the keys are the AT-SPI test's (tests/a11y).
#include <QAccessible>
#include <map>
#include <string>

#include "qt/qt_text.h"
#include "qt/qt_view.h"
#include "window/scripted_window.h"

namespace {

class AccessibleControlsTest : public ScriptedWindowTest {
  protected:
    AccessibleControlsTest() : m_view(form()) {
        form().load();
        m_view.show();
        forgetCalls();
    }
    QAccessibleInterface* accessible(const Control& c) {
        return QAccessible::queryAccessibleInterface(m_view.widget(c));
    }
    QtView m_view;
};

// What each kind of control is to a screen reader.
const std::map<ControlKind, QAccessible::Role> kRoles = {
    {ControlKind::Button, QAccessible::Button},
    {ControlKind::CheckBox, QAccessible::CheckBox},
    {ControlKind::OptionButton, QAccessible::RadioButton},
    {ControlKind::TextBox, QAccessible::EditableText},
    {ControlKind::ComboBox, QAccessible::ComboBox},
    {ControlKind::Label, QAccessible::StaticText},
    {ControlKind::Frame, QAccessible::Grouping},
    {ControlKind::Picture, QAccessible::Graphic}};

// The names of the controls that no caption of their own names: a box by
// the caption an operator reads beside it, the rest plainly.
const std::map<std::string, QString> kNamedApart = {
    {"combIntfcName", "Controller Name"}, {"txtCtlrAddr", "Controller Address"},
    {"txtAddr", "Device Address"},        {"combCmd", "Device Command"},
    {"txtResults", "Device Response"},    {"txtCount", "Loop Count"},
    {"txtError", "Error Message"},        {"txtRev", "Revision"},
    {"ImageTarvel", "Tarvel Morrow logo"}};

TEST_F(AccessibleControlsTest, EachWidgetSaysWhatItIsWhatItIsCalledAndWhetherItShows) {
    EXPECT_EQ(QAccessible::queryAccessibleInterface(m_view.window())->role(), QAccessible::Window);
    int named = 0;
    for (Control* c : w().all()) {
        if (m_view.widget(*c) == nullptr) {
            continue;
        }
        QAccessibleInterface* a = accessible(*c);
        const bool apart = c->caption().empty();
        named += apart ? 1 : 0;
        EXPECT_EQ(a->role(), kRoles.at(c->kind())) << c->name();
        // Captions as they are, "REN " and "Send  *CLS" too.
        EXPECT_EQ(a->text(QAccessible::Name),
                  apart ? kNamedApart.at(c->name()) : ToQString(c->caption()))
            << c->name();
        EXPECT_EQ(a->state().invisible, !c->visible()) << c->name();
    }
    EXPECT_EQ(named, 9);
}

TEST_F(AccessibleControlsTest, OptionsAreRadioButtonsThatTheModelChecks) {
    QAccessibleInterface* second = accessible(w().optTMO(2));
    QAccessibleInterface* third = accessible(w().optTMO(3));
    EXPECT_TRUE(second->state().checkable && !second->state().checked);
    EXPECT_TRUE(third->state().checked);  // start-up chose "3 Sec"
    second->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    second->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(calls(), std::vector<std::string>{"ibtmo(0, 11)"});
    EXPECT_TRUE(second->state().checked);
    EXPECT_FALSE(third->state().checked);
}

}  // namespace
