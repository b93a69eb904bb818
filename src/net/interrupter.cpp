#include "net/interrupter.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace net {

Interrupter::Interrupter() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Interrupter::~Interrupter() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void Interrupter::raise() {
    m_raised.store(true, std::memory_order_release);
    const uint64_t one = 1;
    if (m_fd >= 0)
        (void)!::write(m_fd, &one, sizeof one);
}

void Interrupter::clear() {
    m_raised.store(false, std::memory_order_release);
    uint64_t count = 0;
    if (m_fd >= 0)
        (void)!::read(m_fd, &count, sizeof count);
}

}  // namespace net
