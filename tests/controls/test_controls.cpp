// The control-event rule: a new value set in code fires the control's event
// at once, nested; an unchanged value fires nothing; the silent setter never
// fires.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/check_box.h"
#include "controls/combo_box.h"
#include "controls/option_group.h"
#include "controls/text_box.h"

namespace {

ControlDescription spec(const char* name, ControlKind kind, int index = -1) {
    ControlDescription s;
    s.name = name;
    s.kind = kind;
    s.index = index;
    return s;
}

TEST(TextBoxTest, NewTextFiresOnceSameTextNothing) {
    const ControlDescription s = spec("txtAddr", ControlKind::TextBox);
    TextBox box(s);
    int changes = 0;
    box.change.connect([&] { ++changes; });
    box.setText(u"");
    EXPECT_EQ(changes, 0);
    box.setText(u"9");
    EXPECT_EQ(changes, 1);
    box.setText(u"9");
    EXPECT_EQ(changes, 1);
    box.setText(u" 9");
    EXPECT_EQ(changes, 2);
}

TEST(TextBoxTest, HandlerSeesNewTextAndViewIsToldFirst) {
    const ControlDescription s = spec("txtAddr", ControlKind::TextBox);
    TextBox box(s);
    std::vector<std::string> log;
    box.observe(
        [&](Control&, Property p) { log.push_back(p == Property::Text ? "view" : "other"); });
    box.change.connect([&] { log.push_back("handler:" + std::string(box.text().size(), 'x')); });
    box.setText(u"abc");
    EXPECT_EQ(log, (std::vector<std::string>{"view", "handler:xxx"}));
}

TEST(CheckBoxTest, ValueChangesFireClickNestedBeforeCallerContinues) {
    const ControlDescription a = spec("ckCRTerm", ControlKind::CheckBox);
    const ControlDescription b = spec("ckLFTerm", ControlKind::CheckBox);
    CheckBox cr(a), lf(b);
    std::vector<std::string> log;
    cr.click.connect([&] {
        log.push_back("cr click");
        lf.setValue(1);  // nested: lf's handler runs inside cr's
        log.push_back("cr done");
    });
    lf.click.connect([&] { log.push_back("lf click"); });
    cr.setValue(1);
    EXPECT_EQ(log, (std::vector<std::string>{"cr click", "lf click", "cr done"}));
    log.clear();
    cr.setValue(1);
    EXPECT_TRUE(log.empty());
}

TEST(CheckBoxTest, SilentSetterChangesValueWithoutClick) {
    const ControlDescription s = spec("ckCRTerm", ControlKind::CheckBox);
    CheckBox box(s);
    int clicks = 0;
    int viewUpdates = 0;
    box.click.connect([&] { ++clicks; });
    box.observe([&](Control&, Property) { ++viewUpdates; });
    box.setValueSilently(1);
    EXPECT_EQ(box.value(), 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(viewUpdates, 1);
}

TEST(CheckBoxTest, OnlyValueOneCountsAsChecked) {
    ControlDescription s = spec("ckRen", ControlKind::CheckBox);
    s.value = 1;
    CheckBox box(s);
    EXPECT_TRUE(box.checked());
    box.setValue(2);
    EXPECT_FALSE(box.checked());
    box.setValue(0);
    EXPECT_FALSE(box.checked());
}

class OptionGroupTest : public ::testing::Test {
  protected:
    OptionGroupTest() {
        for (int i = 0; i < 3; ++i) {
            specs.push_back(spec("optTMO", ControlKind::OptionButton, i));
        }
    }
    std::vector<ControlDescription> specs;
    std::vector<const ControlDescription*> pointers() {
        std::vector<const ControlDescription*> p;
        for (const auto& s : specs) {
            p.push_back(&s);
        }
        return p;
    }
};

TEST_F(OptionGroupTest, SelectingFiresIndexOnceAndClearsOthers) {
    OptionGroup group("optTMO", pointers());
    std::vector<int> clicks;
    group.click.connect([&](int16_t i) { clicks.push_back(i); });
    EXPECT_EQ(group.selected(), -1);
    group(1).setValue(true);
    group(1).setValue(true);
    group(2).setValue(true);
    EXPECT_EQ(clicks, (std::vector<int>{1, 2}));
    EXPECT_FALSE(group(1).value());
    EXPECT_TRUE(group(2).value());
    EXPECT_EQ(group.selected(), 2);
}

TEST_F(OptionGroupTest, ClearingFiresNothingAndReselectFiresAgain) {
    OptionGroup group("optTMO", pointers());
    int clicks = 0;
    group.click.connect([&](int16_t) { ++clicks; });
    group(0).setValue(true);
    group(0).setValue(false);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(group.selected(), -1);
    group(0).setValue(true);
    EXPECT_EQ(clicks, 2);
}

TEST(ComboBoxTest, ListIndexShowsItemAndFiresChange) {
    const ControlDescription s = spec("combIntfcName", ControlKind::ComboBox);
    ComboBox box(s);
    int changes = 0;
    box.change.connect([&] { ++changes; });
    box.addItem(u"GPIB0");
    box.addItem(u"GPIB1");
    box.setListIndex(1);
    EXPECT_EQ(box.text(), u"GPIB1");
    EXPECT_EQ(changes, 1);
    box.setListIndex(5);  // outside the list: ignored
    EXPECT_EQ(box.listIndex(), 1);
    box.setText(u"gpib2");  // typed text no longer matches the entry
    EXPECT_EQ(box.listIndex(), -1);
    EXPECT_EQ(changes, 2);
}

TEST(ControlTest, EnabledAndVisibleNotifyOnlyOnChange) {
    ControlDescription s = spec("txtError", ControlKind::TextBox);
    s.visible = false;
    TextBox box(s);
    std::vector<Property> seen;
    box.observe([&](Control&, Property p) { seen.push_back(p); });
    EXPECT_FALSE(box.visible());
    EXPECT_TRUE(box.enabled());
    box.setVisible(false);
    box.setEnabled(true);
    box.setVisible(true);
    box.setEnabled(false);
    EXPECT_EQ(seen, (std::vector<Property>{Property::Visible, Property::Enabled}));
}

}  // namespace
