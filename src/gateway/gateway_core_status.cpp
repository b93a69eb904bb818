// What the gateway shows of itself (the status page, inst0's queries) and
// the two things a person may ask of a board from the page: the listener
// search and one instrument's *IDN?. Both take the board's bus like any
// client's operation, so they wait their turn and never cut into one.
#include <ctime>

#include "abi/gpib_abi.h"
#include "gateway/gateway_core.h"
#include "gateway/gateway_core_parts.h"

namespace gateway {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

namespace {

// What an instrument may say to *IDN? here; the rest is not read.
constexpr long kMaxIdentity = 256;

std::string iberrText(int iberr) {
    switch (iberr) {
        case GPIB_ECAP:
            return "this kind of board cannot find listeners";
        case GPIB_ENEB:
            return "the board is not there";
        case GPIB_EABO:
            return "no answer in time";
        case GPIB_ENOL:
            return "no listener at that address";
        default:
            return "the board answered error " + std::to_string(iberr);
    }
}

}  // namespace

std::string linkName(int board, const BusAddress* device) {
    std::string name = "gpib" + std::to_string(board);
    if (device) {
        name += "," + std::to_string(device->pad);
        if (device->sad >= 0)
            name += "," + std::to_string(device->sad);
    }
    return name;
}

void GatewayCore::showState(Board& b) {
    b.shownOpen = b.open;
    b.shownProblem = b.lastProblem;
    if (b.open)
        b.shownDescription = b.entry.board->describe();
}

GatewayCore::Board* GatewayCore::boardAt(int index) {
    for (auto& b : m_boards)
        if (b->entry.index == index && index != kGatewayBoard)
            return b.get();
    return nullptr;
}

CoreView GatewayCore::view() {
    CoreView v;
    std::lock_guard<std::mutex> hold(m_lock);
    for (auto& b : m_boards) {
        if (b->entry.index == kGatewayBoard)
            continue;
        v.boards.push_back({b->entry.index, b->entry.name, b->shownDescription, b->shownOpen,
                            b->shownProblem, b->searchedAt, b->found, b->searchProblem});
    }
    for (auto& [lid, link] : m_links) {
        auto holder = m_lockHolders.find(lockKey(*link));
        v.links.push_back({lid, link->connection, link->peer.text(), describeTarget(link->target),
                           holder != m_lockHolders.end() && holder->second == lid});
    }
    return v;
}

std::vector<InterfaceView> GatewayCore::interfaceViews() {
    std::vector<InterfaceView> views;
    for (const BoardView& b : view().boards) {
        InterfaceView i{linkName(b.index), b.open ? b.description : "not open: " + b.problem, {}};
        for (const BusAddress& a : b.found) i.instruments.push_back(linkName(b.index, &a));
        views.push_back(std::move(i));
    }
    return views;
}

int GatewayCore::searchListeners(int index, int64_t deadlineUs, std::string& problem) {
    Board* b = boardAt(index);
    if (!b) {
        problem = "no board " + linkName(index);
        return GPIB_EARG;
    }
    if (!b->bus.lockUntil(deadlineUs)) {
        problem = "the bus stayed busy with the clients' operations";
        return GPIB_EABO;
    }
    std::vector<BusAddress> found;
    int err = ensureOpen(*b);
    if (err == kDone) {
        std::vector<int> pads;
        for (int pad = 0; pad <= 30; ++pad)
            if (pad != b->entry.ownPad)
                pads.push_back(pad);
        // Every listener there is: 31 primaries, each with its secondaries.
        err = b->entry.board->findListeners(pads, 31 * 32, found);
    }
    std::lock_guard<std::mutex> hold(m_lock);
    if (err == GPIB_ENEB)
        b->open = false;
    showState(*b);
    b->bus.unlock();
    b->searchedAt = int64_t(std::time(nullptr));
    b->found = err == kDone ? found : std::vector<BusAddress>{};
    b->searchProblem = err == kDone                                  ? ""
                       : err == GPIB_ENEB && !b->lastProblem.empty() ? b->lastProblem
                                                                     : iberrText(err);
    problem = b->searchProblem;
    m_settings.log(b->entry.name + ": listener search: " +
                   (err == kDone ? std::to_string(found.size()) + " found" : problem));
    return err;
}

int GatewayCore::askIdentity(int index, BusAddress at, int64_t deadlineUs, std::string& answer) {
    answer.clear();
    Board* b = boardAt(index);
    if (!b) {
        answer = "no board " + linkName(index);
        return GPIB_EARG;
    }
    if (!b->bus.lockUntil(deadlineUs)) {
        answer = "the bus stayed busy with the clients' operations";
        return GPIB_EABO;
    }
    int err = ensureOpen(*b);
    {
        // A client that holds the device, or the whole interface, has it
        // to itself.
        std::lock_guard<std::mutex> hold(m_lock);
        LinkTarget device{index, false, at};
        LinkTarget whole{index, true, {}};
        Link probe, interface;
        probe.target = device;
        interface.target = whole;
        for (const Link* l : {&probe, &interface})
            if (auto it = m_lockHolders.find(lockKey(*l));
                err == kDone && it != m_lockHolders.end()) {
                answer = "locked by a client (link " + std::to_string(it->second) + ")";
                err = GPIB_EABO;
            }
    }
    char reply[kMaxIdentity];
    long got = 0;
    if (err == kDone) {
        long sent = 0;
        err = b->entry.board->send(at, "*IDN?\n", 6, gpibdrv::EndMode::EoiOnLast,
                                   timeoutUntil(deadlineUs), sent);
        int ended = 0;
        if (err == kDone)
            err = b->entry.board->receive(at, reply, kMaxIdentity, '\n', timeoutUntil(deadlineUs),
                                          got, ended);
    }
    if (err == GPIB_ENEB) {
        std::lock_guard<std::mutex> hold(m_lock);
        b->open = false;
        showState(*b);
    }
    b->bus.unlock();
    if (err != kDone) {
        if (answer.empty())
            answer = iberrText(err);
        return err;
    }
    answer.assign(reply, size_t(std::max(0L, got)));
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
    return kDone;
}

}  // namespace gateway
