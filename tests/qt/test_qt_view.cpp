// The Qt view on the offscreen platform: geometry, captions and tooltips as
// described, tab order, and the operator's input reaching the models (and
// through them the handlers) exactly once.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <map>

#include "qt/control_widgets.h"
#include "qt/qt_text.h"
#include "qt/qt_view.h"
#include "qt/twips.h"
#include "window/form_layout.h"
#include "window/scripted_window.h"

namespace {

class QtViewTest : public ScriptedWindowTest {
  protected:
    QtViewTest() {
        m_view = std::make_unique<QtView>(form());
        form().load();
        m_view->show();
        forgetCalls();
    }

    QtView& view() { return *m_view; }
    template <typename T>
    T* widget(const Control& c) {
        return qobject_cast<T*>(view().widget(c));
    }

  private:
    std::unique_ptr<QtView> m_view;
};

// A check or option box reacts on its indicator and caption, not on the
// empty rest of its rectangle.
void clickIndicator(QWidget* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

QString captionOf(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    return {};
}

TEST_F(QtViewTest, EveryControlSitsWhereItsTwipsSay) {
    const double dpi = view().logicalDpi();
    EXPECT_EQ(TwipsToPixels(9855, 96), 657);
    EXPECT_EQ(TwipsToPixels(8235, 96), 549);
    EXPECT_EQ(TwipsToPixels(950, 96), 63);
    EXPECT_EQ(TwipsToPixels(1440, 120), 120);
    EXPECT_EQ(view().window()->size(), QSize(TwipsToPixels(9855, dpi), TwipsToPixels(8235, dpi)));
    int placed = 0;
    for (Control* c : w().all()) {
        QWidget* made = view().widget(*c);
        if (c->kind() == ControlKind::Timer || c->kind() == ControlKind::CommonDialog) {
            EXPECT_EQ(made, nullptr) << c->name();
            continue;
        }
        ASSERT_NE(made, nullptr) << c->name();
        ++placed;
        EXPECT_EQ(made->geometry(), TwipsToPixels(c->spec().rect, dpi)) << c->name();
        Control* frame = w().container(*c);
        EXPECT_EQ(made->parentWidget(), frame ? view().widget(*frame) : view().window())
            << c->name();
        EXPECT_EQ(made->toolTip(), ToQString(c->tooltip())) << c->name();
        if (c->kind() != ControlKind::Frame && c->kind() != ControlKind::Picture) {
            EXPECT_EQ(captionOf(made), ToQString(c->caption())) << c->name();
        }
    }
    EXPECT_EQ(placed, 57);
}

TEST_F(QtViewTest, CaptionsKeepTheirExactSpacing) {
    EXPECT_EQ(widget<QAbstractButton>(w().cmdCLS)->text(), QStringLiteral("Send  *CLS"));
    EXPECT_EQ(widget<QAbstractButton>(w().cmdFindRQS)->text(), QStringLiteral("Find RSQ"));
    EXPECT_EQ(widget<QRadioButton>(w().optTMO(1))->text(), QStringLiteral("100mS"));
    EXPECT_EQ(view().widget(w().cmdCmdtst)->toolTip(),
              QStringLiteral("Starts loop using text inthe Device Command box"));
    // The loop buttons of the identification frame belong to the window.
    EXPECT_EQ(view().widget(w().cmdIDNtst)->parentWidget(), view().window());
}

TEST_F(QtViewTest, WindowSettingsAreRendered) {
    QWidget* window = view().window();
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Tarvel Morrow \u2014 ")));
    const QList<QSize> sizes = window->windowIcon().availableSizes();
    for (int s : {16, 32, 48}) {
        EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
    }
    const QFont title = view().widget(w().lblTitle)->font();
    EXPECT_TRUE(title.bold());
    EXPECT_DOUBLE_EQ(title.pointSizeF(), 9.75);
    EXPECT_EQ(view().widget(w().txtRev)->palette().color(QPalette::Base),
              SystemColourValue(SystemColour::InactiveBorder));
    // The 847 x 275 logo, stretched to fill its box on the screen when drawn.
    QLabel* picture = widget<QLabel>(w().ImageTarvel);
    (void)picture->grab();
    const QPixmap logo = picture->pixmap();
    const QSize box = (QSizeF(picture->size()) * picture->devicePixelRatioF()).toSize();
    EXPECT_EQ(box, (QSizeF(TwipsToPixels(w().ImageTarvel.spec().rect, view().logicalDpi()).size()) *
                    picture->devicePixelRatioF())
                       .toSize());
    EXPECT_EQ(logo.size(), box);
    const QImage bitmap = LoadBitmap(QString::fromLatin1(kLogoResource));
    EXPECT_EQ(bitmap.size(), QSize(847, 275));
    EXPECT_EQ(logo.toImage().convertToFormat(QImage::Format_RGB32),
              bitmap.scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(QImage::Format_RGB32));
    ASSERT_EQ(view().timers().size(), 1u);
    EXPECT_EQ(view().timers()[0]->interval(), 250);
    EXPECT_TRUE(view().timers()[0]->isActive());
    EXPECT_FALSE(view().widget(w().txtError)->isVisible());
    EXPECT_FALSE(view().widget(w().lblCount)->isVisible());
    EXPECT_TRUE(view().widget(w().txtResults)->isVisible());
    EXPECT_FALSE(view().widget(w().cmdIDNtstoff)->isEnabled());
    EXPECT_TRUE(view().widget(w().cmdIDNtst)->isEnabled());
    EXPECT_EQ(widget<QPlainTextEdit>(w().txtResults)->toPlainText(),
              QStringLiteral("FindLstn: No devices found"));
    EXPECT_EQ(widget<QComboBox>(w().combIntfcName)->count(), 16);
    EXPECT_EQ(widget<QComboBox>(w().combIntfcName)->currentText(), QStringLiteral("GPIB0"));
    EXPECT_TRUE(widget<QRadioButton>(w().optTMO(3))->isChecked());
}

TEST_F(QtViewTest, TabOrderFollowsTheTabIndexes) {
    std::vector<std::pair<int, QWidget*>> expected;
    for (Control* c : w().all()) {
        QWidget* made = view().widget(*c);
        if (made != nullptr && (made->focusPolicy() & Qt::TabFocus) && c->spec().tabIndex >= 0) {
            expected.emplace_back(c->spec().tabIndex, made);
        }
    }
    std::sort(expected.begin(), expected.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    ASSERT_EQ(expected.front().first, 1);  // cmdSetIName; frames take no focus
    std::vector<QWidget*> chain;
    QWidget* at = expected.front().second;
    for (size_t guard = 0; chain.size() < expected.size() && guard < 1000; ++guard) {
        if (std::any_of(expected.begin(), expected.end(),
                        [at](const auto& e) { return e.second == at; })) {
            chain.push_back(at);
        }
        at = at->nextInFocusChain();
    }
    ASSERT_EQ(chain.size(), expected.size());
    for (size_t i = 0; i < chain.size(); ++i) {
        EXPECT_EQ(chain[i], expected[i].second) << "tab index " << expected[i].first;
    }
    for (const Control* c : {&w().lblTitle, &w().frmCMD, &w().ImageTarvel}) {
        EXPECT_EQ(view().widget(*c)->focusPolicy(), Qt::NoFocus) << c->name();
    }
}

// The desktop font: the named face where it is installed, otherwise the first
// installed of the stand-ins, named alone so that Qt looks for nothing else.
TEST(DesktopFontTest, NamesTheFirstInstalledFace) {
    const QStringList standIns = {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                  QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                                  QStringLiteral("DejaVu Sans")};
    QString firstStandIn;
    for (const QString& name : standIns) {
        if (QFontDatabase::hasFamily(name)) {
            firstStandIn = name;
            break;
        }
    }
    ASSERT_FALSE(firstStandIn.isEmpty()) << "no stand-in face installed";
    QString installed = QFontDatabase::families().constFirst();
    installed = installed.left(installed.indexOf(QStringLiteral(" [")));  // without its foundry
    struct Case {
        std::string requested;
        QString expected;
    };
    const std::vector<Case> cases = {{"MS Sans Serif", firstStandIn},
                                     {"No Such Face 4711", firstStandIn},
                                     {installed.toStdString(), installed},
                                     {firstStandIn.toLower().toStdString(), firstStandIn}};
    for (const Case& c : cases) {
        const QFont font = DesktopFont(c.requested);
        // Family names match whatever their case.
        EXPECT_EQ(font.families().size(), 1) << c.requested;
        EXPECT_EQ(font.family().compare(c.expected, Qt::CaseInsensitive), 0)
            << c.requested << " gave " << font.family().toStdString();
        EXPECT_TRUE(QFontInfo(font).family().startsWith(c.expected, Qt::CaseInsensitive))
            << c.requested << " drew " << QFontInfo(font).family().toStdString();
    }
}

// Everything the operator can see of one widget, as one line.
QString shownState(QWidget* widget) {
    QString state = QStringLiteral("%1 enabled=%2 hidden=%3 tip=%4 font=%5")
                        .arg(QString::fromLatin1(widget->metaObject()->className()))
                        .arg(widget->isEnabled())
                        .arg(widget->isHidden())
                        .arg(widget->toolTip(), widget->font().toString());
    if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        state += QStringLiteral(" text=") + line->text();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
        state += QStringLiteral(" text=") + plain->toPlainText();
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        for (int i = 0; i < combo->count(); ++i) {
            state += QStringLiteral(" item=") + combo->itemText(i);
        }
        state += QStringLiteral(" current=%1 text=%2")
                     .arg(combo->currentIndex())
                     .arg(combo->currentText());
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        state +=
            QStringLiteral(" caption=%1 checked=%2").arg(button->text()).arg(button->isChecked());
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        state += QStringLiteral(" caption=%1").arg(label->text());
    }
    return state;
}

// The program runs start-up before it builds its widgets; a view made then
// must show exactly what a view that followed every change of start-up shows.
TEST_F(QtViewTest, AViewMadeAfterStartUpShowsTheSameWindow) {
    std::map<const Control*, QString> followed;
    for (Control* c : w().all()) {
        if (QWidget* made = view().widget(*c)) {
            followed[c] = shownState(made);
        }
    }
    ASSERT_GT(followed.size(), 50u);
    // Start-up filled the lists and chose a timeout: the later view has
    // something to get wrong.
    ASSERT_GT(widget<QComboBox>(w().combCmd)->count(), 0);
    ASSERT_GE(w().optTMO.selected(), 0);
    QtView later(form());
    for (const auto& [control, state] : followed) {
        ASSERT_NE(later.widget(*control), nullptr) << control->name();
        EXPECT_EQ(shownState(later.widget(*control)), state) << control->name();
    }
}

TEST_F(QtViewTest, TypingAnAddressEnablesSet) {
    w().cmdSet.setEnabled(false);
    auto* edit = widget<QLineEdit>(w().txtAddr);
    ASSERT_FALSE(view().widget(w().cmdSet)->isEnabled());
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("7"));
    EXPECT_EQ(w().txtAddr.text(), u" 07");
    EXPECT_TRUE(w().cmdSet.enabled());
    EXPECT_TRUE(view().widget(w().cmdSet)->isEnabled());
}

TEST_F(QtViewTest, ClickingRenRunsItsHandlerOnce) {
    auto* box = widget<QAbstractButton>(w().ckRen);
    clickIndicator(box);
    EXPECT_EQ(calls(), std::vector<std::string>{"ibsre(0, 0)"});
    EXPECT_EQ(w().ckRen.value(), 0);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(widget<QPlainTextEdit>(w().txtResults)->toPlainText(),
              QStringLiteral("REN deasserted"));
}

TEST_F(QtViewTest, ChoosingAnOptionRunsTheTimeoutActionOnce) {
    auto* second = widget<QRadioButton>(w().optTMO(2));
    clickIndicator(second);
    EXPECT_EQ(calls(), std::vector<std::string>{"ibtmo(0, 11)"});
    EXPECT_TRUE(second->isChecked());
    EXPECT_FALSE(widget<QRadioButton>(w().optTMO(3))->isChecked());
    // Clicking the selected option again is no new selection; it stays chosen.
    clickIndicator(second);
    EXPECT_EQ(calls().size(), 1u);
    EXPECT_TRUE(second->isChecked());
    EXPECT_EQ(w().optTMO.selected(), 2);
}

TEST_F(QtViewTest, ChangeInCodeFiresOnceAndIsShownWithoutEcho) {
    w().ckRen.setValue(0);
    w().ckRen.setValue(0);
    EXPECT_EQ(calls(), std::vector<std::string>{"ibsre(0, 0)"});
    EXPECT_FALSE(widget<QAbstractButton>(w().ckRen)->isChecked());
    w().txtResults.setText(u"line one\r\nline two");
    EXPECT_EQ(widget<QPlainTextEdit>(w().txtResults)->toPlainText(),
              QStringLiteral("line one\nline two"));
    EXPECT_EQ(w().txtResults.text(), u"line one\r\nline two");  // no echo rewrote it
    w().txtError.setVisible(true);
    EXPECT_TRUE(view().widget(w().txtError)->isVisible());
}

TEST_F(QtViewTest, KeysTypedIntoTheCommandBoxReachItsKeyEvent) {
    std::vector<int> keys;
    w().combCmd.keyPress.connect([&](int16_t& key) { keys.push_back(key); });
    auto* combo = widget<QComboBox>(w().combCmd);
    // Keys go where the keyboard sends them: to the focused combo box.
    QTest::keyClicks(combo, QStringLiteral("*I"));
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(keys, (std::vector<int>{'*', 'I', 13}));
    // Typed exactly: no completion from the list's "*idn?".
    EXPECT_EQ(w().combCmd.text(), u"*I");
    EXPECT_EQ(combo->count(), 3);  // Enter adds nothing to the list
}

}  // namespace
