// The driver-call window as the operator meets it: F12 in the main window,
// the trace's lines live, following the newest unless scrolled up, Clear,
// Copy, Save and Close, and the main window left as it was.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include "qt/qt_view.h"
#include "qt/trace_lines_view.h"
#include "qt/trace_window.h"
#include "window/scripted_window.h"

namespace {

class TraceWindowTest : public ScriptedWindowTest {
  protected:
    TraceWindowTest() : m_view(form()) {
        form().load();
        m_view.show();
        QWidget* main = m_view.window();
        QTest::keyClick(m_view.widget(w().combCmd), Qt::Key_F12);
        m_trace = dynamic_cast<TraceWindow*>(main->findChild<QWidget*>("driverCalls"));
        // The operator goes back to the main window and works on.
        main->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(main));
    }

    QStringList shown() const { return m_trace->lines()->text().split('\n'); }
    std::string topLine() const {
        return m_trace->lines()->line(m_trace->lines()->topLine()).toStdString();
    }
    QScrollBar* bar() const { return m_trace->lines()->verticalScrollBar(); }
    void ifc(int times) {
        for (int i = 0; i < times; ++i) gpib().SendIFC(0);
        m_trace->appendPending();
    }

    QtView m_view;
    TraceWindow* m_trace = nullptr;
};

TEST_F(TraceWindowTest, F12ShowsTheCallsLiveAndLeavesTheMainWindowAlone) {
    ASSERT_NE(m_trace, nullptr);
    EXPECT_TRUE(m_trace->isVisible());
    EXPECT_EQ(m_trace->windowTitle(), "Driver calls");
    EXPECT_TRUE(gpib().Trace().on());
    const QString title = m_view.window()->windowTitle();
    QWidget* focus = QApplication::focusWidget();

    w().cmdIFC.press();  // the operator's button, through its handler
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown().last().contains("ibsre(ud 0, REN on)"); }));
    EXPECT_TRUE(shown().at(shown().size() - 2).contains("SendIFC(board 0) | ibsta 0x0100"));
    uint64_t cursor = 0;
    const std::vector<std::string> fed = gpib().Trace().feed().since(cursor);
    EXPECT_EQ(shown().size(), static_cast<qsizetype>(fed.size()));
    EXPECT_EQ(shown().last().toStdString(), fed.back());
    EXPECT_EQ(QApplication::activeWindow(), m_view.window());
    EXPECT_EQ(QApplication::focusWidget(), focus);
    EXPECT_EQ(m_view.window()->windowTitle(), title);
    EXPECT_FALSE(w().txtError.visible());
}

TEST_F(TraceWindowTest, FollowsTheNewestUnlessScrolledUpAndKeepsTheLastLines) {
    ifc(9900);
    EXPECT_EQ(bar()->value(), bar()->maximum());
    bar()->setValue(500);
    const std::string top = topLine();
    ifc(300);  // 200 of the oldest lines drop out under the operator's view
    EXPECT_EQ(m_trace->lines()->lineCount(), 10000);
    EXPECT_EQ(topLine(), top);
    bar()->setValue(bar()->maximum());
    for (int batch = 0; batch < 5; ++batch) {
        ifc(batch + 1);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(bar()->value(), bar()->maximum());
    // What was moved and drawn piecemeal on screen is what a full drawing shows.
    QWidget* canvas = m_trace->lines()->canvas();
    const QPoint at = canvas->mapTo(m_trace, QPoint(0, 0));
    const QImage onScreen =
        m_trace->screen()
            ->grabWindow(m_trace->winId(), at.x(), at.y(), canvas->width(), canvas->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(onScreen == canvas->grab().toImage().convertToFormat(QImage::Format_RGB32));
    EXPECT_TRUE(shown().last().startsWith(
        QString::number(gpib().Trace().feed().total()).rightJustified(6)));
}

TEST_F(TraceWindowTest, CopySaveClearAndCloseStopsTheCapture) {
    ifc(3);
    const QString text = m_trace->lines()->text();
    m_trace->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), text);
    const QString path = QDir::temp().filePath("tm-test-driver-calls.txt");
    EXPECT_EQ(m_trace->saveTo(path), QString());
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), text + "\n");
    saved.remove();
    // Shift-click selects whole lines; Copy then takes only those.
    QWidget* canvas = m_trace->lines()->canvas();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(30, 2));
    QTest::mouseClick(canvas, Qt::LeftButton, Qt::ShiftModifier, QPoint(30, canvas->height() - 2));
    m_trace->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), text);
    QTest::mouseClick(canvas, Qt::LeftButton, {},
                      QPoint(30, canvas->fontMetrics().lineSpacing() + 2));
    m_trace->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), text.split('\n').at(1));
    EXPECT_TRUE(m_trace->saveTo("/nonexistent/calls.txt")
                    .startsWith("The driver calls could not be saved to /nonexistent/calls.txt: "));

    m_trace->clear();
    EXPECT_TRUE(m_trace->lines()->text().isEmpty());
    EXPECT_EQ(gpib().Trace().feed().size(), 0u);
    m_trace->close();
    EXPECT_FALSE(gpib().Trace().on());
    ifc(2);
    EXPECT_EQ(gpib().Trace().feed().size(), 0u);
}

}  // namespace
