#pragma once
// A hostile network adapter on loopback: it accepts one connection and runs a
// script on it in a thread of its own, so a test can answer the driver what
// no real adapter would. Helpers answer the opening as an adapter does.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class HostileAdapter {
  public:
    using Script = std::function<void(HostileAdapter&)>;
    explicit HostileAdapter(Script script) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof at;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&at), len) != 0 ||
            ::listen(m_listener, 1) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&at), &len) != 0)
            return;
        m_port = ntohs(at.sin_port);
        m_thread = std::thread([this, script] {
            pollfd p{m_listener, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0)
                return;
            m_fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (m_fd >= 0)
                script(*this);
        });
    }
    ~HostileAdapter() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
        ::close(m_listener);
    }
    int port() const { return m_port; }
    bool stopping() const { return m_stop; }

    // The next line from the driver (without its LF); what came of one when
    // nothing more arrives within timeoutMs or the connection ends.
    std::string line(int timeoutMs = 5000) {
        for (;;) {
            size_t end = m_in.find('\n');
            if (end != std::string::npos) {
                std::string s = m_in.substr(0, end);
                m_in.erase(0, end + 1);
                return s;
            }
            char buffer[65536];
            pollfd p{m_fd, POLLIN, 0};
            long n =
                m_stop || ::poll(&p, 1, timeoutMs) <= 0 ? 0 : ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) {
                std::string s;
                s.swap(m_in);
                return s;
            }
            m_in.append(buffer, size_t(n));
        }
    }
    void write(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            long n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            done += size_t(n);
        }
    }
    // Answers the opening as the adapter does: the version line, the mark
    // asked back after the settings, and for an AR488 its read terminators,
    // its listener search and the test read from its own address (which
    // host input ends at once here).
    void answerOpening(const std::string& version) {
        const bool ar488 = version.rfind("AR488", 0) == 0;
        while (!m_stop) {
            const std::string l = line();
            if (l == "++ver")
                write(version + "\r\n");
            if (l == "++eot_char" && !ar488) {
                write("234\r\n");
                return;
            }
            if (l == "++eot_char")
                write("234\r\n");
            if (l == "++eor")
                write("0\r\n");
            if (l == "++fndl")
                write("Missing parameter\r\n");
            if (l.rfind("++addr 0", 0) == 0)
                write("Invalid parameter\r\n");
            if (l.rfind("++read 0", 0) == 0) {
                if (line() == "++ver")
                    write(version + "\r\n");
                return;
            }
        }
    }

  private:
    int m_listener = -1, m_fd = -1, m_port = 0;
    std::string m_in;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
