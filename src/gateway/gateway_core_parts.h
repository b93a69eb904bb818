#pragma once
// The parts of GatewayCore its source files share: a served board with its
// bus, a link, an interrupt channel.

#include "gateway/gateway_core.h"

namespace gateway {

// What is left until deadlineUs, as a board's timeout (gateway_core.cpp).
gpibdrv::Timeout timeoutUntil(int64_t deadlineUs);

struct GatewayCore::Board {
    BoardEntry entry;
    gpibdrv::BusLock bus;
    // Held with the bus:
    bool open = false;
    std::string lastProblem;  // logged once until the board opens again
    gpibdrv::BusAddressing addressing;
    bool commandsPassed = false;  // the last command bytes went onto the bus itself
    bool ren = false;             // what REN was last set to, where the lines do not show it
    // Under m_lock: the link whose operation holds the bus, to interrupt.
    std::shared_ptr<Link> current;
    // The SRQ watch's own: the line as last seen.
    bool srqWas = false;
    // Under m_lock, for the status: the board as last opened or lost, and
    // its last listener search.
    bool shownOpen = false;
    std::string shownDescription, shownProblem;
    int64_t searchedAt = 0;
    std::vector<gpibdrv::BusAddress> found;
    std::string searchProblem;
};

struct GatewayCore::Link {
    int32_t lid = 0;
    int connection = 0;
    net::Address peer;
    LinkTarget target;
    Board* board = nullptr;
    // Under m_lock:
    bool inOperation = false, aborted = false, destroyed = false;
    bool srqEnabled = false;
    std::string srqHandle;
    // Read by a wait for the bus without m_lock.
    std::atomic<bool> cancel{false};
};

struct GatewayCore::IntrChannel {
    net::Socket socket;
    std::string where;  // the client's address and port, for the log
    uint32_t program = 0, version = 0, xid = 0;
    bool broken = false;  // the SRQ watch's own
};

}  // namespace gateway
