#include "gateway/gateway_core.h"

#include <algorithm>

#include "abi/gpib_abi.h"
#include "gateway/gateway_core_parts.h"
#include "net/monotonic.h"
#include "vxi11/error_table.h"

namespace gateway {

using gpibdrv::kDone;

namespace {

// Links one connection may hold: a client needs a few, one per device.
constexpr long kMaxLinksPerConnection = 256;
// A client's io_timeout is taken at its word up to a day; beyond, a day.
constexpr int64_t kLongestWaitUs = 24LL * 3600 * 1000 * 1000;

int64_t deadlineAfterMs(uint32_t ms) {
    return net::monotonicUs() + std::min<int64_t>(int64_t(ms) * 1000, kLongestWaitUs);
}

}  // namespace

// The client's io_timeout, less the time the operation waited for the
// bus, as the exact time every kind keeps to.
gpibdrv::Timeout timeoutUntil(int64_t deadlineUs) {
    return gpibdrv::Timeout::ofUs(deadlineUs - net::monotonicUs());
}

GatewayCore::GatewayCore(std::vector<BoardEntry> boards, CoreSettings settings)
    : m_settings(std::move(settings)) {
    if (!m_settings.inst0) {
        m_identity = std::make_unique<GatewayIdentity>(
            m_settings.identity, [this] { return interfaceViews(); },
            [this](const std::string& link, int64_t deadlineUs) {
                std::string problem;
                searchListeners(std::stoi(link.substr(4)), deadlineUs, problem);
                return problem;
            });
        boards.push_back({kGatewayBoard, "inst0", m_identity.get(), 0});
    }
    for (BoardEntry& e : boards) {
        auto b = std::make_unique<Board>();
        b->entry = std::move(e);
        b->shownDescription = b->entry.board->describe();
        m_boards.push_back(std::move(b));
    }
    m_srqWatch = std::thread([this] { watchSrq(); });
}

GatewayCore::~GatewayCore() {
    stop();
    if (m_srqWatch.joinable())
        m_srqWatch.join();
}

void GatewayCore::stop() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_stopping = true;
    for (auto& [lid, link] : m_links) {
        link->cancel = true;
        link->aborted = true;
    }
    for (auto& b : m_boards) {
        if (b->current)
            b->entry.board->interrupt();
        b->bus.wake();
    }
    m_lockFreed.notify_all();
    m_srqWake.notify_all();
}

int GatewayCore::ensureOpen(Board& b) {
    if (b.open)
        return kDone;
    std::string reason;
    int err = b.entry.board->open(reason);
    if (err != kDone) {
        if (reason != b.lastProblem)
            m_settings.log(b.entry.name + ": cannot open (" + reason +
                           "); its next operation tries again");
        b.lastProblem = reason;
        std::lock_guard<std::mutex> hold(m_lock);
        showState(b);
        return err;
    }
    // A gateway takes control of its bus as it starts.
    if ((b.entry.board->statusBits() & GPIB_CIC) == 0)
        b.entry.board->interfaceClear();
    b.open = true;
    b.lastProblem.clear();
    m_settings.log(b.entry.name + ": " + b.entry.board->describe());
    std::lock_guard<std::mutex> hold(m_lock);
    showState(b);
    return kDone;
}

void GatewayCore::openBoards() {
    std::vector<std::thread> openers;
    for (auto& b : m_boards)
        openers.emplace_back([this, board = b.get()] {
            board->bus.lock();
            ensureOpen(*board);
            board->bus.unlock();
        });
    for (auto& t : openers) t.join();
}

std::shared_ptr<GatewayCore::Link> GatewayCore::owned(const Client& c, int32_t lid, Need need,
                                                      int& error) {
    auto it = m_links.find(lid);
    // Another connection's link is no link of this one's.
    if (it == m_links.end() || it->second->connection != c.connection) {
        error = vxi11::kInvalidLink;
        return nullptr;
    }
    if (need == Need::Device && it->second->target.interface) {
        error = vxi11::kNotSupported;  // data and polls are for devices
        return nullptr;
    }
    error = 0;
    return it->second;
}

std::pair<int, int> GatewayCore::lockKey(const Link& link) const {
    const auto& t = link.target;
    return {t.board, t.interface ? -1 : t.address.pad * 32 + t.address.sad + 1};
}

bool GatewayCore::lockFree(const Link& link) const {
    const int board = link.target.board;
    // The interface's key sorts first among its board's keys.
    const auto first = m_lockHolders.lower_bound({board, -1});
    const auto end = m_lockHolders.lower_bound({board + 1, -1});
    for (auto it = first; it != end; ++it) {
        if (it->second == link.lid)
            continue;
        const bool interfaceHeld = it->first.second == -1;
        if (interfaceHeld || link.target.interface || it->first == lockKey(link))
            return false;
    }
    return true;
}

LinkReply GatewayCore::createLink(const Client& c, const CreateLinkArgs& a) {
    LinkReply r;
    r.maxRecvSize = m_settings.maxRecvSize;
    LinkTarget target;
    const std::string name(a.device);
    if ((r.error = parseLinkName(name, m_settings.inst0, target)) != 0)
        return r;
    auto board = std::find_if(m_boards.begin(), m_boards.end(),
                              [&](const auto& b) { return b->entry.index == target.board; });
    if (board == m_boards.end()) {
        r.error = vxi11::kDeviceNotAccessible;  // no such board here
        return r;
    }
    auto link = std::make_shared<Link>();
    link->connection = c.connection;
    link->peer = c.peer;
    link->target = target;
    link->board = board->get();
    std::unique_lock<std::mutex> hold(m_lock);
    if (m_stopping) {
        r.error = vxi11::kOutOfResources;
        return r;
    }
    // A connection's links are bounded like everything else of it.
    if (std::count_if(m_links.begin(), m_links.end(), [&](const auto& entry) {
            return entry.second->connection == c.connection;
        }) >= kMaxLinksPerConnection) {
        r.error = vxi11::kOutOfResources;
        return r;
    }
    link->lid = m_nextLid++;
    m_links[link->lid] = link;
    if (a.lockDevice) {
        // As device_lock with WAITLOCK: the link is made only with its lock.
        link->inOperation = true;
        int e = waitForLock(hold, *link, vxi11::kFlagWaitLock, a.lockTimeout);
        endOperation(*link);
        if (e == 0) {
            m_lockHolders[lockKey(*link)] = link->lid;
        } else {
            m_links.erase(link->lid);
            r.error = e;
            return r;
        }
    }
    r.lid = link->lid;
    m_settings.log("connection " + std::to_string(c.connection) + " (" + c.peer.text() +
                   "): link " + std::to_string(r.lid) + " \"" + name + "\" to " +
                   describeTarget(target) + (a.lockDevice ? ", locked" : ""));
    return r;
}

void GatewayCore::destroyLocked(const std::shared_ptr<Link>& link, const char* why) {
    link->destroyed = true;
    link->cancel = true;
    m_links.erase(link->lid);
    if (auto it = m_lockHolders.find(lockKey(*link));
        it != m_lockHolders.end() && it->second == link->lid)
        m_lockHolders.erase(it);
    Board& b = *link->board;
    if (b.current == link)
        b.entry.board->interrupt();  // it waits on the bus: end it
    b.bus.wake();
    m_lockFreed.notify_all();
    m_settings.log("connection " + std::to_string(link->connection) + ": link " +
                   std::to_string(link->lid) + " destroyed" + why);
}

int GatewayCore::destroyLink(const Client& c, int32_t lid) {
    std::lock_guard<std::mutex> hold(m_lock);
    int error = 0;
    auto link = owned(c, lid, Need::Any, error);
    if (!link)
        return error;
    destroyLocked(link, "");
    return 0;
}

GatewayCore::LinkHolders GatewayCore::linkHolders() {
    LinkHolders holders;
    std::lock_guard<std::mutex> hold(m_lock);
    for (const auto& [lid, link] : m_links) {
        holders.connections.insert(link->connection);
        holders.hosts.insert(link->peer.host());
    }
    return holders;
}

void GatewayCore::connectionClosed(int connection) {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<std::shared_ptr<Link>> gone;
    for (auto& [lid, link] : m_links)
        if (link->connection == connection)
            gone.push_back(link);
    for (auto& link : gone) destroyLocked(link, " with its connection");
    m_intr.erase(connection);
}

int GatewayCore::waitForLock(std::unique_lock<std::mutex>& hold, Link& link, int flags,
                             uint32_t lockTimeoutMs) {
    auto free = [&] { return lockFree(link); };
    if (free())
        return 0;
    if (!(flags & vxi11::kFlagWaitLock))
        return vxi11::kLockedByAnother;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(lockTimeoutMs);
    const bool got =
        m_lockFreed.wait_until(hold, until, [&] { return free() || link.cancel.load(); });
    if (link.destroyed)
        return vxi11::kInvalidLink;
    if (link.cancel)
        return vxi11::kAborted;
    return got ? 0 : vxi11::kLockedByAnother;
}

void GatewayCore::endOperation(Link& link) {
    link.inOperation = false;
    link.aborted = false;
    link.cancel = link.destroyed || m_stopping;
}

int GatewayCore::run(const Client& c, int32_t lid, Need need, int flags, uint32_t lockTimeoutMs,
                     uint32_t ioTimeoutMs, const Op& op) {
    std::shared_ptr<Link> link;
    {
        std::unique_lock<std::mutex> hold(m_lock);
        int error = 0;
        if (!(link = owned(c, lid, need, error)))
            return error;
        link->inOperation = true;
        if ((error = waitForLock(hold, *link, flags, lockTimeoutMs)) != 0) {
            endOperation(*link);
            return error;
        }
    }
    Board& b = *link->board;
    const int64_t deadline = deadlineAfterMs(ioTimeoutMs);
    const bool gotBus = b.bus.lockUntil(deadline, link->cancel);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!gotBus || link->cancel) {
            const int error = link->destroyed ? vxi11::kInvalidLink
                              : link->cancel  ? vxi11::kAborted
                                              : vxi11::kIoTimeout;  // the bus stayed busy
            endOperation(*link);
            if (gotBus)
                b.bus.unlock();
            return error;
        }
        b.current = link;
    }
    int iberr = ensureOpen(b);
    if (iberr == kDone)
        iberr = op(b, *link, timeoutUntil(deadline));
    int error = 0;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        b.current.reset();
        const bool interrupted = link->aborted || link->destroyed;
        if (interrupted)
            b.entry.board->clearInterrupt();
        else if (iberr == GPIB_ENEB) {
            b.open = false;  // a line that was lost opens again for the next operation
            showState(b);
        }
        error = link->destroyed                 ? vxi11::kInvalidLink
                : interrupted && iberr != kDone ? vxi11::kAborted
                                                : vxi11::errorForIberr(iberr);
        endOperation(*link);
    }
    b.bus.unlock();
    return error;
}

int GatewayCore::lock(const Client& c, const LockArgs& a) {
    std::unique_lock<std::mutex> hold(m_lock);
    int error = 0;
    auto link = owned(c, a.lid, Need::Any, error);
    if (!link)
        return error;
    link->inOperation = true;
    error = waitForLock(hold, *link, a.flags, a.lockTimeout);
    if (error == 0)
        m_lockHolders[lockKey(*link)] = link->lid;
    endOperation(*link);
    return error;
}

int GatewayCore::unlock(const Client& c, int32_t lid) {
    std::lock_guard<std::mutex> hold(m_lock);
    int error = 0;
    auto link = owned(c, lid, Need::Any, error);
    if (!link)
        return error;
    auto it = m_lockHolders.find(lockKey(*link));
    if (it == m_lockHolders.end() || it->second != lid)
        return vxi11::kNoLockHeld;
    m_lockHolders.erase(it);
    m_lockFreed.notify_all();
    return 0;
}

int GatewayCore::abort(const Client& c, int32_t lid) {
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_links.find(lid);
    // The abort channel is a connection of its own: the link's host may use
    // it, nobody else.
    if (it == m_links.end() || !it->second->peer.sameHost(c.peer))
        return vxi11::kInvalidLink;
    Link& link = *it->second;
    if (!link.inOperation)
        return 0;  // nothing in progress to abort
    link.aborted = true;
    link.cancel = true;
    if (link.board->current == it->second)
        link.board->entry.board->interrupt();
    link.board->bus.wake();
    m_lockFreed.notify_all();
    return 0;
}

}  // namespace gateway
