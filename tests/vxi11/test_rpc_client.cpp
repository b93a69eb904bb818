// The RPC connection against a peer that answers what each test scripts:
// answers are matched to their call, and whatever else comes (a late answer,
// garbage, a refusal, silence, a closed connection) ends the call within its
// deadline with the outcome the gateway kind acts on.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "vxi11/rpc_client.h"

namespace {

using vxi11::CallOutcome;
using vxi11::Clock;

// Big-endian words of one record, with its record mark.
std::vector<uint32_t> record(std::vector<uint32_t> body) {
    body.insert(body.begin(), 0x80000000u | uint32_t(body.size() * 4));
    return body;
}
// An accepted, successful reply carrying one unsigned int.
std::vector<uint32_t> answer(uint32_t xid, uint32_t value) {
    return record({xid, 1, 0, 0, 0, 0, value});
}

// Accepts one connection, reads one call, and sends what the script makes of
// the call's xid; keeps the connection open until the test ends.
class ScriptedPeer {
  public:
    using Script = std::vector<uint32_t> (*)(uint32_t xid);
    explicit ScriptedPeer(Script script, bool close = false) {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 1);
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &n);
        port = ntohs(a.sin_port);
        m_thread = std::thread([this, script, close] {
            m_peer = ::accept(m_listen, nullptr, nullptr);
            uint32_t head[2] = {};  // the record mark and the xid
            if (m_peer < 0 || ::recv(m_peer, head, sizeof head, MSG_WAITALL) != sizeof head)
                return;
            if (close) {
                ::shutdown(m_peer, SHUT_RDWR);
                return;
            }
            std::vector<uint32_t> words = script(ntohl(head[1]));
            for (uint32_t& w : words) w = htonl(w);
            (void)::send(m_peer, words.data(), words.size() * 4, MSG_NOSIGNAL);
        });
    }
    ~ScriptedPeer() {
        m_thread.join();
        ::close(m_peer);
        ::close(m_listen);
    }
    int port = 0;

  private:
    int m_listen = -1, m_peer = -1;
    std::thread m_thread;
};

// Of the very type the RPC library calls its XDR routines through, so that
// the client's call of it is no call through a pointer of another type.
bool_t noArguments(XDR*, ...) {
    return TRUE;
}

TEST(RpcClient, EachCallEndsWithinItsDeadlineAsTheGatewayKindExpects) {
    struct Row {
        const char* what;
        ScriptedPeer::Script script;
        bool close;
        CallOutcome outcome;
        uint32_t value;
    };
    const Row rows[] = {
        {"the answer", [](uint32_t x) { return answer(x, 7); }, false, CallOutcome::Done, 7},
        {"a late answer to an earlier call, then this one's",
         [](uint32_t x) {
             auto late = answer(x - 1, 1), now = answer(x, 9);
             late.insert(late.end(), now.begin(), now.end());
             return late;
         },
         false, CallOutcome::Done, 9},
        {"garbage", [](uint32_t) { return record({0xdeadbeef}); }, false, CallOutcome::Lost, 0},
        {"a refusal (RPC version mismatch)",
         [](uint32_t x) {
             return record({x, 1, 1, 0, 2, 2});
         },
         false, CallOutcome::Lost, 0},
        {"a procedure it does not have",
         [](uint32_t x) {
             return record({x, 1, 0, 0, 0, 3});
         },
         false, CallOutcome::Lost, 0},
        {"silence", [](uint32_t) { return std::vector<uint32_t>{}; }, false, CallOutcome::NoAnswer,
         0},
        {"a closed connection", nullptr, true, CallOutcome::Lost, 0},
    };
    for (const Row& row : rows) {
        ScriptedPeer peer(row.script, row.close);
        vxi11::RpcClient client;
        std::string reason;
        ASSERT_TRUE(client.connect("127.0.0.1", peer.port, 0x0607AF, 1,
                                   Clock::now() + std::chrono::seconds(2), reason))
            << reason;
        u_int value = 0;
        const auto start = Clock::now();
        CallOutcome outcome =
            client.call(13, noArguments, nullptr, reinterpret_cast<xdrproc_t>(xdr_u_int), &value,
                        start + std::chrono::milliseconds(300), reason);
        const auto took = Clock::now() - start;
        EXPECT_EQ(outcome, row.outcome) << row.what << ": " << reason;
        EXPECT_EQ(value, row.value) << row.what;
        EXPECT_LT(took, std::chrono::milliseconds(450)) << row.what;
        if (row.outcome != CallOutcome::Done) {
            EXPECT_FALSE(reason.empty()) << row.what;
        }
    }
}

}  // namespace
