#pragma once
// The sockets of a small server: a listening socket on one address, and one
// thread per accepted connection, all of them ended and joined on exit.

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace emulators {

struct Listener {
    int fd = -1;
    unsigned short port = 0;

    Listener() = default;
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Binds address:port (0: any free port) as a stream (listening) or
    // datagram socket; false with the reason.
    bool open(const std::string& address, int port, int type, std::string& problem);
};

class ConnectionThreads {
  public:
    ~ConnectionThreads() { stopAll(); }

    // Runs serve(fd) on a thread of its own; fd is closed once it returns
    // and the thread has been joined. A negative fd is ignored.
    void start(int fd, std::function<void(int)> serve);
    // Shuts every connection down, so that each thread sees its end, and
    // joins them.
    void stopAll();

  private:
    struct Connection {
        int fd = -1;
        std::thread thread;
        bool done = false;
    };
    void reap();  // joins the threads that have finished

    std::mutex m_lock;
    std::list<std::unique_ptr<Connection>> m_connections;
};

}  // namespace emulators
