#pragma once
// The part every control shares: its description, enabled and visible, and
// the one observer (the view) that hears about every change a handler makes.
// Labels, frames and pictures are plain Controls: handlers only show, hide,
// enable or disable them.

#include <functional>
#include <string>

#include "controls/control_description.h"

enum class Property { Text, Value, Enabled, Visible, Items, ListIndex, Caption };

class Control {
  public:
    using Observer = std::function<void(Control&, Property)>;

    explicit Control(const ControlDescription& spec) : m_spec(spec), m_visible(spec.visible) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const ControlDescription& spec() const { return m_spec; }
    const std::string& name() const { return m_spec.name; }
    ControlKind kind() const { return m_spec.kind; }
    const std::u16string& caption() const { return m_spec.caption; }
    const std::u16string& tooltip() const { return m_spec.tooltip; }

    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool visible() const { return m_visible; }
    void setVisible(bool visible);

    // The view registers here; it is told after the model has changed.
    void observe(Observer observer) { m_observer = std::move(observer); }

  protected:
    void notify(Property property);

  private:
    const ControlDescription& m_spec;
    bool m_enabled = true;  // every control is enabled at creation
    bool m_visible;
    Observer m_observer;
};
