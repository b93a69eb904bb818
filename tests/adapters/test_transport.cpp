// The line to a network adapter: opening it ends at the open's deadline even
// when the name server never answers, and a wait on the line ends at once
// when another thread interrupts it (a server whose client aborted).
#include <gtest/gtest.h>
#include <netdb.h>
#include <poll.h>

#include <thread>

#include "adapters/adapter_board.h"
#include "adapters/transport.h"
#include "net/lookup.h"
#include "net/socket.h"
#include "silent_resolver.h"

namespace {

using adapters::monotonicUs;

TEST(TransportTest, ANameServerThatNeverAnswersCostsTheOpenTimeoutOnly) {
    SilentResolver silent;
    adapters::AdapterOptions o;
    o.host = "prologix.lab.example";
    o.openTimeoutMs = 300;
    auto board = adapters::makeAdapterBoard(o);
    std::string reason;
    const int64_t start = monotonicUs();
    EXPECT_EQ(board->open(reason), GPIB_ENEB);
    const int64_t took = monotonicUs() - start;
    EXPECT_GE(took, 290'000);
    EXPECT_LT(took, 1'300'000);
    EXPECT_NE(reason.find("cannot connect to prologix.lab.example:1234: the name "
                          "prologix.lab.example was not found before the timeout"),
              std::string::npos)
        << reason;
}

TEST(TransportTest, AWaitOnTheLineEndsWhenInterruptedUntilCleared) {
    std::string why;
    net::Socket listener = net::listenOn("127.0.0.1", 0, SOCK_STREAM, why);
    ASSERT_TRUE(listener.valid()) << why;
    auto line = adapters::makeTcpTransport("127.0.0.1", net::localPort(listener.fd()));
    ASSERT_TRUE(line->open(monotonicUs() + 1'000'000, why)) << why;
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        line->interrupt();
    });
    char buffer[16];
    size_t got = 0;
    const int64_t start = monotonicUs();
    EXPECT_EQ(line->readSome(buffer, sizeof buffer, start + 5'000'000, got),
              adapters::Transport::Io::Timeout);
    other.join();
    EXPECT_LT(monotonicUs() - start, 1'000'000);
    EXPECT_TRUE(line->interrupted());
    EXPECT_TRUE(line->isOpen());  // interrupted, not lost
    line->clearInterrupt();
    EXPECT_FALSE(line->interrupted());
    const int64_t again = monotonicUs();
    EXPECT_EQ(line->readSome(buffer, sizeof buffer, again + 100'000, got),
              adapters::Transport::Io::Timeout);
    EXPECT_GE(monotonicUs() - again, 95'000);  // the deadline this time
}

}  // namespace
