#include "emulators/adapter_line_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/monotonic.h"

namespace emulators {

namespace {

// A host that stops reading for this long loses what was written to it.
constexpr int kWriteWaitMs = 2000;

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

}  // namespace

LineServer::~LineServer() {
    if (m_sender.joinable()) {
        {
            std::lock_guard<std::mutex> hold(m_lineLock);
            m_stopping = true;
        }
        m_wake.notify_one();
        m_sender.join();
    }
    closeLine();
    closeFd(m_listener);
    if (!m_options.link.empty())
        ::unlink(m_options.link.c_str());
}

bool LineServer::makePty(std::string& why) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        why = std::string("cannot make a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ::ptsname(m_master);
    std::string path = name ? name : "";
    // Holding the device open ourselves keeps it alive between hosts, and
    // raw mode from the start keeps the first bytes from being translated.
    m_slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0) {
        why = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    if (!m_options.link.empty()) {
        std::string temporary = m_options.link + ".new";
        ::unlink(temporary.c_str());
        if (::symlink(path.c_str(), temporary.c_str()) != 0 ||
            ::rename(temporary.c_str(), m_options.link.c_str()) != 0) {
            why = "cannot make the link " + m_options.link + ": " + std::strerror(errno);
            return false;
        }
        path = m_options.link;
    }
    m_announce(path);
    return true;
}

bool LineServer::start(std::function<void(const std::string&)> announce, std::string& why) {
    m_announce = std::move(announce);
    if (m_options.jitterMs > 0) {
        m_random.seed(m_options.seed);
        m_sender = std::thread([this] { sendLate(); });
    }
    if (!m_options.tcp)
        return makePty(why);
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(uint16_t(m_options.port));
    if (::inet_pton(AF_INET, m_options.bind.c_str(), &at.sin_addr) != 1) {
        why = "not an IPv4 address: " + m_options.bind;
        return false;
    }
    socklen_t len = sizeof at;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&at), len) != 0 ||
        ::listen(m_listener, 1) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&at), &len) != 0) {
        why = "cannot listen on " + m_options.bind + ":" + std::to_string(m_options.port) + ": " +
              std::strerror(errno);
        return false;
    }
    m_announce(std::to_string(ntohs(at.sin_port)));
    return true;
}

void LineServer::closeLine() {
    closeFd(m_client);
    closeFd(m_master);
    closeFd(m_slave);
}

void LineServer::hangUp() {
    std::lock_guard<std::mutex> hold(m_lineLock);
    m_late.clear();  // what was on its way to the host that left
    if (m_options.tcp) {
        closeFd(m_client);
    } else {
        // The new device (and the link to it) is there before the host sees
        // the old one hang up, so that it can open it again at once.
        int master = m_master, slave = m_slave;
        std::string why;
        if (!makePty(why))
            std::fprintf(stderr, "tm-adapter-emulator: %s\n", why.c_str());
        closeFd(master);
        closeFd(slave);
    }
    m_hungUp = true;
}

bool LineServer::write(const std::string& bytes) {
    if (m_options.jitterMs <= 0)
        return writeNow(bytes);
    // In pieces, each held back by its own delay, none before the one ahead.
    std::lock_guard<std::mutex> hold(m_lineLock);
    if (lineFd() < 0)
        return false;
    std::uniform_int_distribution<size_t> length(1, 64);
    std::uniform_int_distribution<int64_t> delay(0, int64_t(m_options.jitterMs) * 1000);
    const int64_t now = net::monotonicUs();
    for (size_t at = 0; at < bytes.size();) {
        const size_t n = std::min(length(m_random), bytes.size() - at);
        m_lastDueUs = std::max(m_lastDueUs, now + delay(m_random));
        m_late.push_back({bytes.substr(at, n), m_lastDueUs});
        at += n;
    }
    m_wake.notify_one();
    return true;
}

void LineServer::sendLate() {
    std::unique_lock<std::mutex> hold(m_lineLock);
    while (!m_stopping) {
        if (m_late.empty()) {
            m_wake.wait(hold);
            continue;
        }
        const int64_t wait = m_late.front().dueUs - net::monotonicUs();
        if (wait > 0) {
            m_wake.wait_for(hold, std::chrono::microseconds(wait));
            continue;
        }
        const std::string bytes = std::move(m_late.front().bytes);
        m_late.pop_front();
        writeNow(bytes);
    }
}

void LineServer::waitForInput(int64_t untilUs,
                              const std::function<void(const char*, size_t)>& stash) {
    const int fd = lineFd();
    if (fd < 0)
        return;
    const int64_t left = untilUs - net::monotonicUs();
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, left > 0 ? int((left + 999) / 1000) : 0) <= 0)
        return;
    char buffer[4096];
    const long n = ::read(fd, buffer, sizeof buffer);
    if (n > 0)
        stash(buffer, size_t(n));
    // A host that left is seen by the server's own loop.
}

bool LineServer::writeNow(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size() && lineFd() >= 0) {
        long n = m_options.tcp
                     ? ::send(m_client, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)
                     : ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        pollfd p{lineFd(), POLLOUT, 0};
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && ::poll(&p, 1, kWriteWaitMs) > 0)
            continue;
        // Nobody reads: what waits unread for the host is dropped.
        if (m_slave >= 0)
            ::tcflush(m_slave, TCIFLUSH);
        return false;
    }
    return done == bytes.size();
}

void LineServer::serve(const std::function<void(const char*, size_t)>& onBytes,
                       const std::function<void()>& onHost) {
    for (;;) {
        if (m_hungUp) {
            m_hungUp = false;
            if (!m_options.tcp && m_master < 0)
                return;  // no new device could be made
            onHost();
        }
        pollfd fds[3] = {{m_options.stopFd, POLLIN, 0},
                         {m_options.eofFd, POLLIN, 0},
                         {lineFd() >= 0 ? lineFd() : m_listener, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        char buffer[4096];
        if (fds[1].revents) {
            long n = ::read(m_options.eofFd, buffer, sizeof buffer);
            if (n <= 0 && !(n < 0 && errno == EINTR))
                return;
        }
        if (!fds[2].revents)
            continue;
        if (m_options.tcp && m_client < 0) {
            const int client =
                ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            {
                std::lock_guard<std::mutex> hold(m_lineLock);
                m_client = client;
                m_lastDueUs = 0;
            }
            int one = 1;
            if (m_client >= 0)
                ::setsockopt(m_client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            onHost();
            continue;
        }
        long n = ::read(lineFd(), buffer, sizeof buffer);
        if (n > 0)
            onBytes(buffer, size_t(n));
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            hangUp();  // the host left
    }
}

}  // namespace emulators
