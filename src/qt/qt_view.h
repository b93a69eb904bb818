#pragma once
// The Qt Widgets rendering of Form1. Each model gets one widget, placed from
// its twips. The operator's changes go into the model, which fires the
// control's event; a model change updates its widget without echoing back.

#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/form1.h"

class QTimer;

class QtView {
  public:
    explicit QtView(Form1& form);
    ~QtView();
    QtView(const QtView&) = delete;
    QtView& operator=(const QtView&) = delete;

    QWidget* window() const { return m_window.get(); }
    // The widget of a control (for an option group, name its options through
    // the control); nullptr for controls without a visible part.
    QWidget* widget(const Control& control) const;
    QWidget* widget(const std::string& name) const;
    const std::vector<QTimer*>& timers() const { return m_timers; }
    // Pixels per twip are fixed when the view is built.
    double logicalDpi() const { return m_dpi; }

    void show();
    void repaintNow(const TextBox& box);

  private:
    QWidget* create(Control& control, QWidget* parent);
    void sync(Control& control, Property property);
    void applyTabOrder();

    Form1& m_form;
    double m_dpi;
    QFont m_font;
    std::unique_ptr<QWidget> m_window;
    std::map<const Control*, QWidget*> m_widgets;
    std::vector<QTimer*> m_timers;
    // Set while a model change is copied into a widget, so that the widget's
    // own change signals are not taken for the operator's.
    bool m_syncing = false;
};
