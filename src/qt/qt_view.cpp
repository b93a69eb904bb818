#include "qt/qt_view.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "qt/accessible_controls.h"
#include "qt/control_widgets.h"
#include "qt/qt_text.h"
#include "qt/trace_window.h"
#include "qt/twips.h"
#include "session/help.h"
#include "window/form_layout.h"

namespace {

// The window's client area. A double click there, not on a control, is the
// window's own double click.
class FormWidget : public QWidget {
  public:
    explicit FormWidget(Form& form) : m_form(form) {}

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (childAt(event->position().toPoint()) == nullptr) {
            m_form.dblClick.fire();
        }
    }

  private:
    Form& m_form;
};

// F1 anywhere in the window, whichever control has the focus: the window's
// context help. Watching the application's events sees the key before any
// control can take it for itself.
class ContextHelpKey : public QObject {
  public:
    ContextHelpKey(QWidget* window, Window& model)
        : QObject(window), m_window(window), m_model(model) {
        qApp->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) {
            return false;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier ||
            static_cast<QWidget*>(watched)->window() != m_window) {
            return false;
        }
        Form_ContextHelp(m_model);
        return true;
    }

  private:
    QWidget* m_window;
    Window& m_model;
};

double screenDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
}

}  // namespace

QtView::QtView(Form1& form)
    : m_form(form), m_dpi(screenDpi()), m_window(std::make_unique<FormWidget>(form.window().form)) {
    Window& w = m_form.window();
    InstallAccessibleInterfaces();
    DescribeForScreenReaders(m_window.get(), w.form);
    const TwipsRect& client = w.form.spec().rect;
    m_window->setFixedSize(TwipsToPixels(client.width, m_dpi), TwipsToPixels(client.height, m_dpi));
    // The window's default font: the classic dialog face at 8 points.
    m_font = DesktopFont("MS Sans Serif");
    m_font.setPointSize(8);
    m_window->setFont(m_font);
    // The program sets its icon once for all its windows; a view made on its
    // own (tests, tools) loads it here.
    if (QGuiApplication::windowIcon().isNull()) {
        m_window->setWindowIcon(QIcon(QString::fromLatin1(w.form.spec().image.c_str())));
    }
    m_window->setWindowTitle(ToQString(w.form.title()));
    w.form.observe([this](Control&, Property) {
        m_window->setWindowTitle(ToQString(m_form.window().form.title()));
    });

    for (Control* control : w.all()) {
        Control* frame = w.container(*control);
        QWidget* parent = frame != nullptr ? widget(*frame) : m_window.get();
        if (QWidget* made = create(*control, parent)) {
            m_widgets[control] = made;
        }
        control->observe([this](Control& c, Property p) { sync(c, p); });
    }
    applyTabOrder();
    new ContextHelpKey(m_window.get(), w);
    InstallTraceWindowKey(m_window.get(), w.gpib.Trace());
}

QtView::~QtView() {
    // The models outlive the view; they must not call into it afterwards.
    Window& w = m_form.window();
    w.form.observe(nullptr);
    for (Control* control : w.all()) {
        control->observe(nullptr);
    }
}

QWidget* QtView::widget(const Control& control) const {
    auto found = m_widgets.find(&control);
    return found != m_widgets.end() ? found->second : nullptr;
}

QWidget* QtView::widget(const std::string& name) const {
    const Control* control = m_form.window().find(name);
    return control != nullptr ? widget(*control) : nullptr;
}

void QtView::show() {
    m_window->show();
}

void QtView::repaintNow(const TextBox& box) {
    if (QWidget* w = widget(box)) {
        w->repaint();
    }
}

QWidget* QtView::create(Control& control, QWidget* parent) {
    if (control.kind() == ControlKind::Timer) {
        auto& model = static_cast<Timer&>(control);
        auto* timer = new QTimer(m_window.get());
        timer->setInterval(model.interval());
        QObject::connect(timer, &QTimer::timeout, [&model] { model.tick(); });
        timer->start();
        m_timers.push_back(timer);
        return nullptr;
    }
    QWidget* made = CreateControlWidget(control, parent, m_syncing);
    if (made == nullptr) {
        return nullptr;
    }
    DescribeForScreenReaders(made, control);
    // The model may have been filled before the view was made (start-up
    // runs first): show what it holds now.
    m_syncing = true;
    SyncControlWidget(control, made);
    m_syncing = false;
    if (!control.spec().font) {
        made->setFont(m_font);
    }
    made->setGeometry(TwipsToPixels(control.spec().rect, m_dpi));
    if (!control.tooltip().empty()) {
        made->setToolTip(ToQString(control.tooltip()));
    }
    made->setEnabled(control.enabled());
    made->setVisible(control.visible());
    return made;
}

void QtView::sync(Control& control, Property property) {
    QWidget* w = widget(control);
    if (w == nullptr) {
        return;
    }
    m_syncing = true;
    switch (property) {
        case Property::Enabled:
            w->setEnabled(control.enabled());
            break;
        case Property::Visible:
            w->setVisible(control.visible());
            break;
        default:
            SyncControlWidget(control, w);
            break;
    }
    m_syncing = false;
}

void QtView::applyTabOrder() {
    std::vector<std::pair<int, QWidget*>> order;
    for (const auto& [control, w] : m_widgets) {
        if (w->focusPolicy() != Qt::NoFocus && control->spec().tabIndex >= 0) {
            order.emplace_back(control->spec().tabIndex, w);
        }
    }
    std::sort(order.begin(), order.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1].second, order[i].second);
    }
}
