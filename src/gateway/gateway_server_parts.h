#pragma once
// What GatewayServer's source files share: a connection as its thread and
// the accepting loop see it.

#include "gateway/gateway_server.h"

namespace gateway {

// A connection's phase: only one that waits for its next call may be
// claimed (Claimed) and then closed to make room; its own thread waits out
// a claim before it serves a call, so a claimed connection makes and drops
// no link while it is judged.
enum ConnectionPhase : int { kWaiting, kServing, kClaimed, kClosing };

struct GatewayServer::Connection {
    int id = 0;
    Channel channel = Channel::Core;
    net::Socket socket;
    net::Address peer;
    std::thread thread;
    std::atomic<bool> done{false};
    std::atomic<int64_t> busySinceUs{0};  // 0: between calls
    bool hangUpSeen = false;
    std::atomic<int> phase{kWaiting};
    std::atomic<int64_t> quietSinceUs{0};  // its last byte, or the end of its last call
    std::mutex whyLock;
    std::string closedBecause;  // why it was closed from outside
};

}  // namespace gateway
