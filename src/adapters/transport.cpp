#include "adapters/transport.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/socket.h"

namespace adapters {

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
        int ready = net::waitFor(m_fd, POLLOUT, deadlineUs, &m_stop);
        if (ready == net::kInterrupted || ready == 0)
            return Io::Timeout;
        if (ready < 0)
            return lose("waiting to write failed", errno);
        if (ready & (POLLERR | POLLNVAL))
            return lose("the line to the adapter broke", 0);
    }
    return Io::Done;
}

Transport::Io Transport::readSome(char* dst, size_t max, int64_t deadlineUs, size_t& got,
                                  int64_t* emptyAtUs) {
    got = 0;
    if (emptyAtUs)
        *emptyAtUs = -1;
    if (m_fd < 0)
        return Io::Lost;
    for (;;) {
        // Taken before the look: whatever this look misses arrives later.
        const int64_t before = emptyAtUs ? monotonicUs() : 0;
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
        if (emptyAtUs)
            *emptyAtUs = before;
        int ready = net::waitFor(m_fd, POLLIN, deadlineUs, &m_stop);
        if (ready == net::kInterrupted || ready == 0)
            return Io::Timeout;
        if (ready < 0)
            return lose("waiting for the adapter failed", errno);
        // On POLLHUP the read above says whether anything is left to read.
    }
}

}  // namespace adapters
