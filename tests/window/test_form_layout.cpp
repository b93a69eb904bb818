// The window's description against the layout the operator is promised:
// names, kinds, containers, captions, tooltips, twips and tab indexes, and
// the initial state of the controls and variables.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "window/form_controls.h"
#include "window/form_layout.h"
#include "window/session_state.h"

namespace {

using K = ControlKind;

struct Row {
    const char* name;
    K kind;
    const char* container;
    const char16_t* caption;
    const char16_t* tooltip;
    TwipsRect rect;
    int tab;
};

// The rows whose wording, container or place is easiest to get wrong.
const Row kRows[] = {
    {"lblTitle", K::Label, "", u"Tarvel Morrow Utility", u"", {3240, 0, 2895, 255}, 53},
    {"frmREN", K::Frame, "", u"REN ", u"", {6240, 1080, 1215, 855}, 9},
    {"cmdIDNtst",
     K::Button,
     "",
     u"Run Loop",
     u"Starts *IDN? query loop",
     {480, 6120, 1215, 375},
     23},
    {"frmTimeout",
     K::Frame,
     "",
     u"Device Timeout",
     u"Selects GPIB bus timeouts",
     {240, 7560, 6375, 615},
     29},
    {"ImageTarvel", K::Picture, "", u"", u"", {7320, 6480, 2340, 765}, -1},
    {"txtRev", K::TextBox, "", u"", u"", {7200, 7920, 2055, 240}, 48},
    {"cmdSetIName",
     K::Button,
     "frmCtlrName",
     u"Set",
     u"Sets new GPIB Controller device name.",
     {240, 360, 615, 375},
     1},
    {"txtAddr",
     K::TextBox,
     "frmAddr",
     u"",
     u"Primary addresses 0-30, secondary addresses 0000-3030",
     {960, 360, 495, 375},
     8},
    {"cmdSend",
     K::Button,
     "frmCMD",
     u"Send",
     u"Sends text in then Device Command String box",
     {4920, 720, 735, 375},
     15},
    {"ckAutoQuery",
     K::CheckBox,
     "frmResults",
     u"Auto Query",
     u"Reads a response to any query with a '?' in the command string",
     {240, 255, 1815, 240},
     17},
    {"ckLFTerm",
     K::CheckBox,
     "frmResults",
     u"LF Terminator",
     u"Sets Linefeed character as the receive message terminator",
     {4080, 720, 1455, 255},
     55},
    {"cmdFindRQS",
     K::Button,
     "frm488_2",
     u"Find RSQ",
     u"Finds device asserting SRQ",
     {240, 1320, 1400, 375},
     44},
    {"cmdCLS",
     K::Button,
     "frm488_2",
     u"Send  *CLS",
     u"Sends *CLS to the set device",
     {240, 2280, 1400, 375},
     46},
    {"cmdCmdtst",
     K::Button,
     "frmCmdLp",
     u"Start Loop",
     u"Starts loop using text inthe Device Command box",
     {360, 240, 1095, 375},
     26},
};

TEST(FormLayoutTest, EveryControlMatchesItsDescription) {
    FormControls form;
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        Control* c = form.find(row.name);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->kind(), row.kind);
        EXPECT_EQ(c->spec().container, row.container);
        EXPECT_EQ(c->caption(), row.caption);
        EXPECT_EQ(c->tooltip(), row.tooltip);
        EXPECT_EQ(c->spec().rect, row.rect);
        EXPECT_EQ(c->spec().tabIndex, row.tab);
        EXPECT_TRUE(c->enabled());
    }
}

TEST(FormLayoutTest, TimeoutOptionsInOneRow) {
    struct Opt {
        const char16_t* caption;
        int left, width, tab;
    };
    const Opt opts[] = {{u"10 mS", 200, 855, 30},   {u"100mS", 1200, 975, 31},
                        {u"1 Sec", 2200, 855, 32},  {u"3 Sec", 3200, 855, 33},
                        {u"10 Sec", 4200, 950, 34}, {u"None", 5200, 855, 35}};
    FormControls form;
    ASSERT_EQ(form.optTMO.size(), 6);
    for (int i = 0; i < 6; ++i) {
        const OptionButton& o = form.optTMO(i);
        EXPECT_EQ(o.index(), i);
        EXPECT_EQ(o.caption(), opts[i].caption);
        EXPECT_EQ(o.spec().rect, (TwipsRect{opts[i].left, 240, opts[i].width, 255}));
        EXPECT_EQ(o.spec().tabIndex, opts[i].tab);
        EXPECT_EQ(o.spec().container, "frmTimeout");
        EXPECT_FALSE(o.value());
    }
}

TEST(FormLayoutTest, EveryControlIsListedOnceAndTabIndexesAreUnique) {
    FormControls form;
    std::set<std::string> names;
    std::set<int> tabs;
    for (const Control* c : form.all()) {
        if (c->kind() != K::OptionButton) {
            EXPECT_TRUE(names.insert(c->name()).second) << c->name();
        }
        if (c->spec().tabIndex >= 0) {
            EXPECT_TRUE(tabs.insert(c->spec().tabIndex).second) << c->name();
        }
        if (!c->spec().container.empty()) {
            const Control* frame = form.container(*c);
            ASSERT_NE(frame, nullptr) << c->name();
            EXPECT_EQ(frame->kind(), K::Frame);
        }
    }
    // 51 named controls, six options, the timer and the common dialog.
    EXPECT_EQ(form.all().size(), 51u + 6 + 2);
    EXPECT_EQ(tabs.size(), 56u);
}

TEST(FormLayoutTest, InitialStateAndWindowSettings) {
    FormControls form;
    EXPECT_FALSE(form.txtError.visible());
    EXPECT_FALSE(form.txtCount.visible());
    EXPECT_FALSE(form.lblCount.visible());
    EXPECT_EQ(form.ckRen.value(), 1);
    EXPECT_EQ(form.ckLF.value(), 1);
    for (const CheckBox* box : {&form.ckCR, &form.ckAutoQuery, &form.ckByteCnt, &form.ckDispAll,
                                &form.ckCRTerm, &form.ckLFTerm}) {
        EXPECT_EQ(box->value(), 0) << box->name();
    }
    EXPECT_TRUE(form.txtResults.spec().multiLine);
    EXPECT_FALSE(form.txtError.spec().multiLine);
    EXPECT_EQ(form.form.caption(), u"Tarvel Morrow");
    EXPECT_EQ(form.form.spec().rect, (TwipsRect{0, 0, 9855, 8235}));
    ASSERT_TRUE(form.lblTitle.spec().font.has_value());
    EXPECT_EQ(form.lblTitle.spec().font->family, "MS Sans Serif");
    EXPECT_DOUBLE_EQ(form.lblTitle.spec().font->points, 9.75);
    EXPECT_EQ(form.lblTitle.spec().font->weight, 700);
    EXPECT_EQ(form.txtRev.spec().background, SystemColour::InactiveBorder);
    EXPECT_EQ(form.Timer1.interval(), 250);
    EXPECT_TRUE(form.Timer1.enabled());
    EXPECT_EQ(form.operatingButtons().size(), 17u);
}

TEST(FormLayoutTest, CaptionNoteFollowsTheFixedCaption) {
    FormControls form;
    EXPECT_EQ(form.form.title(), u"Tarvel Morrow");
    form.form.setCaptionNote(u"libgpib.so.0");
    EXPECT_EQ(form.form.title(), u"Tarvel Morrow \u2014 libgpib.so.0");
    EXPECT_EQ(form.form.caption(), u"Tarvel Morrow");
}

TEST(SessionStateTest, CreatedEmptyWithTerminatedFoundList) {
    SessionState s;
    EXPECT_EQ(s.FoundList[0], -1);
    for (size_t i = 1; i < s.FoundList.size(); ++i) {
        EXPECT_EQ(s.FoundList[i], 0);
    }
    EXPECT_EQ(s.FoundList.size(), 65u);
    EXPECT_EQ(s.bud, 0);
    EXPECT_EQ(s.FoundFlg, 0);
    EXPECT_TRUE(s.NL.empty());
    EXPECT_TRUE(s.RecvBuf.empty());
}

}  // namespace
