#pragma once
// One control event with at most one handler, as the window wires them: each
// event runs exactly one handler, synchronously, on the window's thread.

#include <functional>
#include <utility>

template <typename... Args>
class Event {
  public:
    using Handler = std::function<void(Args...)>;

    void connect(Handler handler) { m_handler = std::move(handler); }
    bool connected() const { return static_cast<bool>(m_handler); }

    // Runs the handler to its end before returning, so a handler that changes
    // another control sees that control's own handler finish first.
    void fire(Args... args) const {
        if (m_handler) {
            // A copy keeps the handler alive if it rewires this very event.
            Handler handler = m_handler;
            handler(std::forward<Args>(args)...);
        }
    }

  private:
    Handler m_handler;
};
