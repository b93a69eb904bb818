#include "qt/trace_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "gpib/call_trace.h"
#include "qt/trace_lines_view.h"

namespace {

// Often enough to look live, seldom enough that a loop's lines arrive in
// batches: one append and one repaint per batch.
constexpr int kPollMs = 100;
const QSize kPreferredSize(920, 420);

QPushButton* button(const QString& caption, QBoxLayout* row) {
    auto* made = new QPushButton(caption);
    // Clicking one leaves the keyboard where it was.
    made->setFocusPolicy(Qt::TabFocus);
    row->addWidget(made);
    return made;
}

// F12 anywhere in the main window, whichever control has the focus. Watching
// the application's events sees the key before any control can take it.
class TraceWindowKey : public QObject {
  public:
    TraceWindowKey(QWidget* mainWindow, CallTrace& trace)
        : QObject(mainWindow), m_mainWindow(mainWindow), m_trace(trace) {
        qApp->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F12 || key->modifiers() != Qt::NoModifier ||
            static_cast<QWidget*>(watched)->window() != m_mainWindow) {
            return false;
        }
        if (!m_window)
            m_window = new TraceWindow(m_trace, m_mainWindow);
        m_window->open();
        return true;
    }

  private:
    QWidget* m_mainWindow;
    CallTrace& m_trace;
    QPointer<TraceWindow> m_window;
};

}  // namespace

TraceWindow::TraceWindow(CallTrace& trace, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_trace(trace),
      m_lines(new TraceLinesView(TraceFeed::kLines)),
      m_where(new QLabel),
      m_poll(new QTimer(this)) {
    // It goes with its owner and never keeps the program running by itself.
    setAttribute(Qt::WA_QuitOnClose, false);
    setObjectName(QStringLiteral("driverCalls"));
    setWindowTitle(QStringLiteral("Driver calls"));

    m_lines->setAccessibleName(QStringLiteral("Driver calls"));

    // A long file name must not widen the window.
    m_where->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* row = new QHBoxLayout;
    row->addWidget(m_where, 1);
    QObject::connect(button(QStringLiteral("Clear"), row), &QPushButton::clicked,
                     [this] { clear(); });
    QObject::connect(button(QStringLiteral("Copy"), row), &QPushButton::clicked,
                     [this] { copy(); });
    QObject::connect(button(QStringLiteral("Save\u2026"), row), &QPushButton::clicked,
                     [this] { save(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lines);
    layout->addLayout(row);
    resize(kPreferredSize);

    m_poll->setInterval(kPollMs);
    QObject::connect(m_poll, &QTimer::timeout, [this] { appendPending(); });
}

TraceWindow::~TraceWindow() {
    if (isVisible())
        m_trace.setWatched(false);
}

void TraceWindow::open() {
    m_trace.setWatched(true);
    showWhereLinesGo();
    appendPending();
    m_poll->start();
    if (!m_placed) {
        placeBeside(parentWidget());
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
}

void TraceWindow::closeEvent(QCloseEvent* event) {
    m_poll->stop();
    appendPending();
    m_trace.setWatched(false);
    event->accept();
}

void TraceWindow::appendPending() {
    TraceFeed& feed = m_trace.feed();
    if (feed.total() == m_cursor)
        return;
    const std::vector<std::string> fresh = feed.since(m_cursor);
    if (fresh.empty())
        return;
    showWhereLinesGo();  // the file may have failed meanwhile
    m_lines->append(fresh);
}

void TraceWindow::clear() {
    m_lines->clear();
    m_trace.feed().clear();
    m_cursor = m_trace.feed().total();
}

void TraceWindow::copy() {
    const QString selected = m_lines->selectedText();
    QGuiApplication::clipboard()->setText(selected.isEmpty() ? m_lines->text() : selected);
}

QString TraceWindow::saveTo(const QString& path) const {
    QSaveFile file(path);
    QString text = m_lines->text();
    if (!text.isEmpty())
        text += QLatin1Char('\n');
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(text.toUtf8()) < 0 ||
        !file.commit()) {
        return QStringLiteral("The driver calls could not be saved to %1: %2.")
            .arg(QDir::toNativeSeparators(path), file.errorString());
    }
    return {};
}

void TraceWindow::save() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save driver calls"), QDir::home().filePath("driver-calls.txt"),
        QStringLiteral("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    const QString problem = saveTo(path);
    if (!problem.isEmpty())
        QMessageBox::warning(this, windowTitle(), problem);
}

// Below the main window when the screen has room there, else to its right, so
// that it covers none of the main window's controls.
void TraceWindow::placeBeside(const QWidget* owner) {
    if (!owner || !owner->screen())
        return;
    const QRect free = owner->screen()->availableGeometry();
    const QRect main = owner->frameGeometry();
    const int frame = std::max(0, main.height() - owner->height());
    if (free.bottom() - main.bottom() >= 300) {
        resize(std::min(kPreferredSize.width(), free.right() - main.left()),
               std::min(kPreferredSize.height(), free.bottom() - main.bottom() - frame));
        move(main.left(), main.bottom() + 1);
    } else if (free.right() - main.right() >= 500) {
        resize(std::min(kPreferredSize.width(), free.right() - main.right()),
               std::min(kPreferredSize.height(), free.height() - frame));
        move(main.right() + 1, main.top());
    }
}

void TraceWindow::showWhereLinesGo() {
    const std::string file = m_trace.fileName();
    if (file.empty()) {
        m_where->setText(QStringLiteral("Calls are traced while this window is open."));
    } else {
        m_where->setText(QStringLiteral("Calls are also written to %1.")
                             .arg(file == "-" ? QStringLiteral("standard error")
                                              : QString::fromStdString(file)));
    }
}

void InstallTraceWindowKey(QWidget* mainWindow, CallTrace& trace) {
    new TraceWindowKey(mainWindow, trace);
}
