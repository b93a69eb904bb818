#pragma once
// What lets another thread end a wait: a flag that stays raised until it is
// cleared, and a descriptor that is readable while it is raised, so that a
// poll on a socket or a serial line wakes at once. A server raises it when a
// client aborts an operation or goes away while the operation waits.

#include <atomic>

namespace net {

class Interrupter {
  public:
    Interrupter();
    ~Interrupter();
    Interrupter(const Interrupter&) = delete;
    Interrupter& operator=(const Interrupter&) = delete;

    // From any thread.
    void raise();
    void clear();
    bool raised() const { return m_raised.load(std::memory_order_acquire); }
    // Readable while raised; -1 when the system gave none (waits then look
    // at the flag only when they wake for another reason).
    int fd() const { return m_fd; }

  private:
    int m_fd = -1;
    std::atomic<bool> m_raised{false};
};

}  // namespace net
