#include "adapters/transport.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace adapters {

int64_t monotonicUs() {
    auto t = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(t).count();
}

namespace {

// Waits for the events on fd until the deadline: the events that came, 0 at
// the deadline, -1 on an error (errno says which; EINTR is not one).
int waitFor(int fd, short events, int64_t deadlineUs) {
    for (;;) {
        int64_t left = deadlineUs - monotonicUs();
        if (left <= 0)
            return 0;
        timespec wait{time_t(left / 1000000), long(left % 1000000) * 1000};
        pollfd p{fd, events, 0};
        int ready = ::ppoll(&p, 1, &wait, nullptr);
        if (ready > 0)
            return p.revents;
        if (ready < 0 && errno != EINTR)
            return -1;
    }
}

}  // namespace

Transport::~Transport() {
    close();
}

void Transport::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

long Transport::writeOnce(const char* data, size_t size) {
    return ::write(m_fd, data, size);
}

Transport::Io Transport::lose(const std::string& what, int err) {
    m_lost = err ? what + ": " + std::strerror(err) : what;
    close();
    return Io::Lost;
}

Transport::Io Transport::writeAll(const char* data, size_t size, int64_t deadlineUs,
                                  size_t* written) {
    size_t ignored = 0;
    size_t& done = written ? *written : ignored;
    done = 0;
    if (m_fd < 0)
        return Io::Lost;
    while (done < size) {
        long n = writeOnce(data + done, size - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return lose("writing to the adapter failed", errno);
        int ready = waitFor(m_fd, POLLOUT, deadlineUs);
        if (ready < 0)
            return lose("waiting to write failed", errno);
        if (ready == 0)
            return Io::Timeout;
        if (ready & (POLLERR | POLLNVAL))
            return lose("the line to the adapter broke", 0);
    }
    return Io::Done;
}

Transport::Io Transport::readSome(char* dst, size_t max, int64_t deadlineUs, size_t& got) {
    got = 0;
    if (m_fd < 0)
        return Io::Lost;
    for (;;) {
        long n = ::read(m_fd, dst, max);
        if (n > 0) {
            got = size_t(n);
            return Io::Done;
        }
        if (n == 0)
            return lose("the adapter closed the line", 0);
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return lose("reading from the adapter failed", errno);
        int ready = waitFor(m_fd, POLLIN, deadlineUs);
        if (ready < 0)
            return lose("waiting for the adapter failed", errno);
        if (ready == 0)
            return Io::Timeout;
        // On POLLHUP the read above says whether anything is left to read.
    }
}

}  // namespace adapters
