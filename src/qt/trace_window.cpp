#include "qt/trace_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "gpib/call_trace.h"

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
      m_lines(new QPlainTextEdit),
      m_where(new QLabel),
      m_poll(new QTimer(this)) {
    // It goes with its owner and never keeps the program running by itself.
    setAttribute(Qt::WA_QuitOnClose, false);
    setObjectName(QStringLiteral("driverCalls"));
    setWindowTitle(QStringLiteral("Driver calls"));

    m_lines->setReadOnly(true);
    m_lines->setUndoRedoEnabled(false);
    m_lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_lines->setMaximumBlockCount(static_cast<int>(TraceFeed::kLines));
    m_lines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
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
    QString text;
    for (const std::string& line : fresh) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
    }
    QScrollBar* bar = m_lines->verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    const int before = m_lines->document()->isEmpty() ? 0 : m_lines->blockCount();
    const int top = bar->value();
    m_lines->appendPlainText(text);
    if (following) {
        bar->setValue(bar->maximum());
        return;
    }
    // Lines dropped at the top would move the operator's lines up under them.
    const int dropped =
        std::max(0, before + static_cast<int>(fresh.size()) - m_lines->maximumBlockCount());
    bar->setValue(std::max(0, top - dropped));
}

void TraceWindow::clear() {
    m_lines->clear();
    m_trace.feed().clear();
    m_cursor = m_trace.feed().total();
}

void TraceWindow::copy() {
    const QTextCursor cursor = m_lines->textCursor();
    QGuiApplication::clipboard()->setText(cursor.hasSelection() ? cursor.selection().toPlainText()
                                                                : m_lines->toPlainText());
}

QString TraceWindow::saveTo(const QString& path) const {
    QSaveFile file(path);
    QString text = m_lines->toPlainText();
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
