#include "qt/accessible_controls.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

#include "qt/qt_text.h"
#include "window/accessible_text.h"

namespace {

// The role a widget of ours takes where Qt's own interface would say less:
// a frame is drawn by a plain widget, and the logo is a label that holds its
// bitmap only once it has been drawn.
constexpr const char* kRoleProperty = "tmAccessibleRole";

// An option button as a radio button. Qt calls a checkable button that does
// not keep its siblings exclusive itself a check box; here the window's model
// keeps the options exclusive, so the widget cannot say so.
class OptionAccessible : public QAccessibleWidget {
  public:
    explicit OptionAccessible(QAbstractButton* option)
        : QAccessibleWidget(option, QAccessible::RadioButton) {}

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = button()->isChecked();
        return state;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return button()->text();
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override {
        return QStringList{pressAction(), toggleAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action == pressAction() || action == toggleAction()) {
            if (button()->isEnabled()) {
                button()->click();  // as the operator's click: the model decides
            }
            return;
        }
        QAccessibleWidget::doAction(action);
    }

  private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

// A combo box named by what the operator reads beside it. Qt names a combo
// box on this desktop by the text it holds (a label's relation is to name
// it), so "GPIB0" would stand where "Controller Name" belongs; this one says
// its name and gives its text as its value, and otherwise is what Qt's is:
// its list and its line edit as children, the list opened by its action.
class ComboAccessible : public QAccessibleWidget {
  public:
    explicit ComboAccessible(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value ||
            (t == QAccessible::Name && widget()->accessibleName().isEmpty())) {
            return combo()->lineEdit() != nullptr ? combo()->lineEdit()->text()
                                                  : combo()->currentText();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = combo()->view()->isVisible();
        state.editable = combo()->isEditable();
        return state;
    }

    int childCount() const override { return combo()->lineEdit() != nullptr ? 2 : 1; }

    QAccessibleInterface* child(int index) const override {
        if (index == 0) {
            return QAccessible::queryAccessibleInterface(combo()->view());
        }
        if (index == 1 && combo()->lineEdit() != nullptr) {
            return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        }
        return nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child->object() == combo()->view()) {
            return 0;
        }
        return child->object() == combo()->lineEdit() && child->object() != nullptr ? 1 : -1;
    }

    // The combo box keeps the focus for its line edit, where the typing goes.
    QAccessibleInterface* focusChild() const override {
        return combo()->lineEdit() != nullptr ? child(1) : nullptr;
    }

    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) {
            QAccessibleWidget::doAction(action);
        } else if (combo()->view()->isVisible()) {
            combo()->hidePopup();
        } else {
            combo()->showPopup();
        }
    }

  private:
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* interfaceFor(const QString& className, QObject* object) {
    if (className == QLatin1String("QRadioButton")) {
        return new OptionAccessible(static_cast<QAbstractButton*>(object));
    }
    if (className == QLatin1String("QComboBox")) {
        return new ComboAccessible(static_cast<QComboBox*>(object));
    }
    if (!object->isWidgetType()) {
        return nullptr;
    }
    const QVariant role = object->property(kRoleProperty);
    if (!role.isValid()) {
        return nullptr;
    }
    return new QAccessibleWidget(static_cast<QWidget*>(object),
                                 static_cast<QAccessible::Role>(role.toInt()));
}

}  // namespace

void InstallAccessibleInterfaces() {
    static const bool installed = [] {
        QAccessible::installFactory(interfaceFor);
        return true;
    }();
    (void)installed;
}

void DescribeForScreenReaders(QWidget* widget, const Control& control) {
    // The role first: naming the widget below makes Qt build its interface.
    if (control.kind() == ControlKind::Form) {
        // A plain widget as the window: say it is one. Its title names it.
        widget->setProperty(kRoleProperty, static_cast<int>(QAccessible::Window));
        return;
    }
    if (control.kind() == ControlKind::Frame) {
        widget->setProperty(kRoleProperty, static_cast<int>(QAccessible::Grouping));
    } else if (control.kind() == ControlKind::Picture) {
        widget->setProperty(kRoleProperty, static_cast<int>(QAccessible::Graphic));
    }
    const AccessibleText text = AccessibleTextOf(control.spec());
    widget->setAccessibleName(ToQString(text.name));
    if (!text.description.empty()) {
        widget->setAccessibleDescription(ToQString(text.description));
    }
    // An editable combo box shows its text in a line edit of its own, which a
    // screen reader reaches as a child: it carries the box's name too.
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo != nullptr && combo->lineEdit()) {
        combo->lineEdit()->setAccessibleName(ToQString(text.name));
    }
}
