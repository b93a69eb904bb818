#pragma once
// Where the emulated adapter meets its host: a pseudo-terminal (the host
// opens its device, as it would a USB adapter's) or a TCP port (as a network
// adapter's). One host at a time; the server also watches for a stop.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>

namespace emulators {

struct LineServerOptions {
    bool tcp = false;
    std::string bind = "127.0.0.1";
    int port = 1234;
    std::string link;  // a symbolic link kept pointing at the current pseudo-terminal
    int stopFd = -1;   // readable: stop (a signal's pipe)
    int eofFd = -1;    // at its end of file: stop (the parent's stdin)
    // Every byte that goes out is held back by a random delay of up to this
    // many milliseconds, order kept (a serial-to-network module's timers, a
    // loaded host); the same seed gives the same delays.
    int jitterMs = 0;
    unsigned seed = 1;
};

class LineServer {
  public:
    explicit LineServer(LineServerOptions options) : m_options(std::move(options)) {}
    ~LineServer();
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    // Makes the device or the listening socket: false with why. announce
    // gets the device path (the link when there is one) or the port, now
    // and whenever the line is made anew.
    bool start(std::function<void(const std::string&)> announce, std::string& why);
    // Serves until a stop: bytes from the host go to onBytes, a new host is
    // told to onHost.
    void serve(const std::function<void(const char*, size_t)>& onBytes,
               const std::function<void()>& onHost);

    // For the emulator's answers: false when the line is gone.
    bool write(const std::string& bytes);
    // While a command runs: waits until untilUs (monotonic; a time past only
    // looks) for bytes from the host and hands them to stash.
    void waitForInput(int64_t untilUs, const std::function<void(const char*, size_t)>& stash);
    // Closes the line to the host now (a fault): a new pseudo-terminal is
    // made, or the next host accepted.
    void hangUp();

  private:
    bool makePty(std::string& why);
    void closeLine();
    int lineFd() const { return m_options.tcp ? m_client : m_master; }
    bool writeNow(const std::string& bytes);
    void sendLate();

    LineServerOptions m_options;
    std::function<void(const std::string&)> m_announce;
    int m_master = -1, m_slave = -1, m_listener = -1, m_client = -1;
    bool m_hungUp = false;

    // With jitter: what waits for its time, sent by a thread of its own. The
    // line's descriptors change only under m_lineLock.
    struct Piece {
        std::string bytes;
        int64_t dueUs;
    };
    std::mutex m_lineLock;
    std::condition_variable m_wake;
    std::deque<Piece> m_late;
    int64_t m_lastDueUs = 0;
    bool m_stopping = false;
    std::mt19937 m_random;
    std::thread m_sender;
};

}  // namespace emulators
