// The help routes in the real window on the offscreen platform: a double
// click opens help only on the window's own background, and F1 asks for the
// context help whichever control has the focus.
#include <QApplication>
#include <QTest>

#include "qt/qt_view.h"
#include "window/scripted_window.h"

namespace {

using Route = HelpRequest::Route;

class HelpRoutesTest : public ScriptedWindowTest {
  protected:
    HelpRoutesTest() {
        m_view = std::make_unique<QtView>(form());
        form().load();
        m_view->show();
        platform.help.clear();
    }

    QWidget* widget(const Control& c) const { return m_view->widget(c); }
    QWidget* window() const { return m_view->window(); }

    // A point of parent that no child covers.
    static QPoint emptyPointOf(QWidget* parent) {
        for (int y = 2; y < parent->height(); y += 3) {
            for (int x = 2; x < parent->width(); x += 3) {
                if (parent->childAt(x, y) == nullptr) {
                    return {x, y};
                }
            }
        }
        ADD_FAILURE() << "no empty point in " << parent->objectName().toStdString();
        return {};
    }

    int requests(Route route) const {
        int n = 0;
        for (const HelpRequest& request : platform.help) {
            n += request.route == route ? 1 : 0;
        }
        return n;
    }

  private:
    std::unique_ptr<QtView> m_view;
};

TEST_F(HelpRoutesTest, DoubleClickOnTheBackgroundShowsTheContents) {
    QTest::mouseDClick(window(), Qt::LeftButton, {}, emptyPointOf(window()));
    ASSERT_EQ(platform.help.size(), 1u);
    EXPECT_EQ(platform.help[0].route, Route::CommonDialog);
    EXPECT_EQ(platform.help[0].command, 3);
}

TEST_F(HelpRoutesTest, DoubleClickOnAControlOrFrameOpensNothing) {
    // A frame's own empty area, a text box and a button (whose two clicks
    // run its Click handler, but no double-click help).
    QWidget* frame = widget(w().frmCMD);
    ASSERT_NE(frame, nullptr);
    QTest::mouseDClick(frame, Qt::LeftButton, {}, emptyPointOf(frame));
    QTest::mouseDClick(widget(w().txtAddr), Qt::LeftButton);
    QTest::mouseDClick(widget(w().txtResults), Qt::LeftButton);
    QTest::mouseDClick(widget(w().cmdRead), Qt::LeftButton);
    QTest::mouseDClick(widget(w().lblTitle), Qt::LeftButton);
    EXPECT_EQ(requests(Route::CommonDialog), 0);
}

TEST_F(HelpRoutesTest, F1AnywhereAsksForTheContextHelp) {
    QWidget* targets[] = {window(),
                          widget(w().txtAddr),
                          widget(w().combCmd),
                          widget(w().cmdSend),
                          widget(w().txtResults),
                          widget(w().frmCMD)};
    for (QWidget* target : targets) {
        ASSERT_NE(target, nullptr);
        platform.help.clear();
        QTest::keyClick(target, Qt::Key_F1);
        ASSERT_EQ(platform.help.size(), 1u) << target->metaObject()->className();
        const HelpRequest& request = platform.help[0];
        EXPECT_EQ(request.route, Route::ContextHelp);
        EXPECT_EQ(ToUtf8(request.file), "/opt/tarvel-morrow/Quillon2.chm");
        EXPECT_EQ(request.data, 2007557);
    }
}

TEST_F(HelpRoutesTest, OtherKeysAndShiftF1AreNoHelp) {
    QTest::keyClick(widget(w().txtAddr), Qt::Key_F2);
    QTest::keyClick(widget(w().txtAddr), Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_TRUE(platform.help.empty());
}

TEST_F(HelpRoutesTest, HelpButtonAsksForTheDefaultTopic) {
    QTest::mouseClick(widget(w().cmdHelp), Qt::LeftButton);
    ASSERT_EQ(platform.help.size(), 1u);
    EXPECT_EQ(platform.help[0].route, Route::HtmlHelp);
    EXPECT_EQ(ToUtf8(platform.help[0].file), "Quillon.chm");
}

}  // namespace
