// Lookups, connects, reads and writes that end at their deadline or when
// another thread interrupts them, against loopback peers of the test's own.
#include <gtest/gtest.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <thread>

#include "net/lookup.h"
#include "net/monotonic.h"
#include "net/socket.h"
#include "silent_resolver.h"

namespace {

int64_t msFromNow(int ms) {
    return net::monotonicUs() + int64_t(ms) * 1000;
}

TEST(SocketTest, ALookupThatNeverAnswersEndsAtTheDeadline) {
    SilentResolver silent;
    std::vector<net::Address> found;
    std::string why;
    const int64_t start = net::monotonicUs();
    EXPECT_FALSE(net::lookUp("gpib.lab.example", 1234, msFromNow(200), found, why));
    const int64_t took = net::monotonicUs() - start;
    EXPECT_GE(took, 190'000);
    EXPECT_LT(took, 1'000'000);
    EXPECT_EQ(why, "the name gpib.lab.example was not found before the timeout");
    // An address in digits needs no resolver, silent or not.
    EXPECT_TRUE(net::lookUp("::1", 7, msFromNow(200), found, why));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].text(), "[::1]:7");
    // Connecting by name ends at the same deadline.
    const int64_t again = net::monotonicUs();
    EXPECT_FALSE(net::connectHost("gpib.lab.example", 1234, msFromNow(200), why).valid());
    EXPECT_LT(net::monotonicUs() - again, 1'000'000);
}

TEST(SocketTest, ListenersOnBothFamiliesAcceptAndConnectsFailAtOnceWhenRefused) {
    for (const char* host : {"127.0.0.1", "::1"}) {
        std::string why;
        net::Socket listener = net::listenOn(host, 0, SOCK_STREAM, why);
        if (!listener.valid() && std::string(host) == "::1")
            GTEST_SKIP() << "no IPv6 loopback here: " << why;
        ASSERT_TRUE(listener.valid()) << why;
        const int port = net::localPort(listener.fd());
        ASSERT_GT(port, 0);
        net::Address to;
        ASSERT_TRUE(net::numericAddress(host, port, to));
        net::Socket client = net::connectTo(to, msFromNow(1000), why);
        ASSERT_TRUE(client.valid()) << why;
        ASSERT_GT(net::waitFor(listener.fd(), POLLIN, msFromNow(1000)), 0);
        net::Socket served(::accept4(listener.fd(), nullptr, nullptr, SOCK_CLOEXEC));
        ASSERT_TRUE(served.valid());
        EXPECT_EQ(net::peerOf(served.fd()).host(), host);
        listener.close();
        // Nobody listens there any more.
        EXPECT_FALSE(net::connectTo(to, msFromNow(1000), why).valid());
        EXPECT_EQ(why, "Connection refused");
    }
    std::string why;
    EXPECT_FALSE(net::listenOn("lab.example", 0, SOCK_STREAM, why).valid());
    EXPECT_EQ(why, "lab.example:0: not an IPv4 or IPv6 address");
}

TEST(SocketTest, ReadsAndWritesEndAtTheDeadlineOrWhenInterrupted) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
    net::Socket a(pair[0]), b(pair[1]);
    char buffer[64];
    size_t got = 0;
    int error = 0;
    // Silence: the deadline.
    int64_t start = net::monotonicUs();
    EXPECT_EQ(net::readSome(a.fd(), buffer, sizeof buffer, msFromNow(100), got, error),
              net::Io::Timeout);
    EXPECT_GE(net::monotonicUs() - start, 95'000);
    // Interrupted from another thread long before the deadline; the flag
    // stays raised until cleared.
    net::Interrupter stop;
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop.raise();
    });
    start = net::monotonicUs();
    EXPECT_EQ(net::readSome(a.fd(), buffer, sizeof buffer, msFromNow(5000), got, error, &stop),
              net::Io::Interrupted);
    other.join();
    EXPECT_LT(net::monotonicUs() - start, 1'000'000);
    EXPECT_EQ(net::readSome(a.fd(), buffer, sizeof buffer, msFromNow(5000), got, error, &stop),
              net::Io::Interrupted);
    stop.clear();
    // Bytes that are there come, interrupter or not.
    ASSERT_EQ(net::writeAll(b.fd(), "ping", 4, msFromNow(100), error), net::Io::Done);
    EXPECT_EQ(net::readSome(a.fd(), buffer, sizeof buffer, msFromNow(100), got, error, &stop),
              net::Io::Done);
    EXPECT_EQ(std::string(buffer, got), "ping");
    // A peer that stops reading holds a write until the deadline only.
    std::string lots(1 << 20, 'x');
    start = net::monotonicUs();
    EXPECT_EQ(net::writeAll(a.fd(), lots.data(), lots.size(), msFromNow(100), error),
              net::Io::Timeout);
    EXPECT_LT(net::monotonicUs() - start, 1'000'000);
    // A peer that is gone.
    b.close();
    EXPECT_EQ(net::readSome(a.fd(), buffer, sizeof buffer, msFromNow(100), got, error),
              net::Io::Lost);
}

}  // namespace
