#pragma once
// The VXI-11 core channel's meaning, apart from its encoding: links that
// belong to the connection that made them, device locks, each operation done
// with a board's bus operations (gpibdrv::Board, whatever its kind), and the
// interrupt channel a client gets its service requests on.
//
// Each board is one bus: its operations take the board's BusLock, so they
// run one at a time in the order they came, while other boards go on; the
// wait for the bus counts in the operation's io_timeout. The core's own
// mutex is never held while a board works. A link is shared by whoever uses
// it, so one destroyed while its operation waits is never freed under it;
// the board is interrupted and the operation answers with an error.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "driver/bus_addressing.h"
#include "driver/bus_lock.h"
#include "gateway/gateway_identity.h"
#include "gateway/link_name.h"
#include "gateway/vxi11_args.h"
#include "net/address.h"
#include "net/socket.h"

namespace gateway {

// Who calls: the connection (links belong to it) and where it comes from.
struct Client {
    int connection = 0;
    net::Address peer;
};

struct BoardEntry {
    int index = 0;
    std::string name;  // "GPIB0"
    gpibdrv::Board* board = nullptr;
    int ownPad = 0;
};

struct CoreSettings {
    uint32_t maxRecvSize = 256 * 1024;
    std::optional<LinkTarget> inst0;
    // One line for the operator's log (standard error).
    std::function<void(const std::string&)> log = [](const std::string&) {};
    // What inst0 answers as the gateway itself, when no device is named for it.
    IdentityFields identity;
};

// What the status page and inst0's queries show of a board.
struct BoardView {
    int index = 0;
    std::string name;         // "GPIB0"
    std::string description;  // the kind and where
    bool open = false;
    std::string problem;  // why it is not open
    // The last listener search: when (Unix time; 0 for none), what it found,
    // or why it found nothing.
    int64_t searchedAt = 0;
    std::vector<gpibdrv::BusAddress> found;
    std::string searchProblem;
};

struct LinkView {
    int32_t lid = 0;
    int connection = 0;
    std::string peer;
    std::string target;  // "GPIB0 9", "the gateway itself"
    bool locked = false;
};

struct CoreView {
    std::vector<BoardView> boards;  // the gateway itself left out
    std::vector<LinkView> links;
};

// "gpib0", "gpib0,9", "gpib0,5,1": the link names of a board and its devices.
std::string linkName(int board, const gpibdrv::BusAddress* device = nullptr);

struct LinkReply {
    int error = 0;
    int32_t lid = 0;
    uint32_t maxRecvSize = 0;
};

class GatewayCore {
  public:
    GatewayCore(std::vector<BoardEntry> boards, CoreSettings settings);
    ~GatewayCore();
    GatewayCore(const GatewayCore&) = delete;
    GatewayCore& operator=(const GatewayCore&) = delete;

    // Opens every board (side by side), each line of the outcome logged.
    void openBoards();
    // The largest device_read answer one call carries.
    static constexpr uint32_t kMaxReadChunk = 256 * 1024;

    LinkReply createLink(const Client& c, const CreateLinkArgs& a);
    int destroyLink(const Client& c, int32_t lid);
    // The connection is gone: its links, locks and interrupt channel go too.
    void connectionClosed(int connection);
    // Who holds links now: the connections, and their client addresses
    // (net::Address::host()), for the server's connection policy.
    struct LinkHolders {
        std::set<int> connections;
        std::set<std::string> hosts;
    };
    LinkHolders linkHolders();

    int write(const Client& c, const WriteArgs& a, uint32_t& size);
    // Reads into dst (room for min(requestSize, kMaxReadChunk) bytes).
    int read(const Client& c, const ReadArgs& a, char* dst, uint32_t& got, int& reason);
    int readStb(const Client& c, const GenericArgs& a, uint8_t& stb);
    int trigger(const Client& c, const GenericArgs& a);
    int clear(const Client& c, const GenericArgs& a);
    int remote(const Client& c, const GenericArgs& a);
    int local(const Client& c, const GenericArgs& a);
    int lock(const Client& c, const LockArgs& a);
    int unlock(const Client& c, int32_t lid);
    int docmd(const Client& c, const DocmdArgs& a, std::string& out);
    // From the abort channel: any connection of the link's own host.
    int abort(const Client& c, int32_t lid);

    int enableSrq(const Client& c, const EnableSrqArgs& a);
    int createIntrChannel(const Client& c, const RemoteFuncArgs& a);
    int destroyIntrChannel(const Client& c);

    // Exit: whatever waits ends, the SRQ watch stops.
    void stop();

    // For the status page and inst0 (gateway_core_status.cpp). The boards,
    // their last search and the links, as they are now.
    CoreView view();
    // The listener search on a board, which sends nothing but addressing,
    // in line with the clients' operations; kDone or the board's iberr,
    // with a sentence for a person. The wait for the bus ends at deadlineUs.
    int searchListeners(int board, int64_t deadlineUs, std::string& problem);
    // *IDN? to one instrument, for a person who asked for it (older
    // instruments hang on queries nobody asked them): its answer, or the
    // reason there is none. A device a client has locked is left alone.
    int askIdentity(int board, gpibdrv::BusAddress at, int64_t deadlineUs, std::string& answer);

  private:
    struct Link;
    struct Board;
    struct IntrChannel;
    enum class Need { Any, Device };

    // The caller's own link (nullptr with error 4), and 8 where it is the
    // interface but a device is needed. Under m_lock.
    std::shared_ptr<Link> owned(const Client& c, int32_t lid, Need need, int& error);
    // Runs op on the link's board within the lock and io timeouts; answers
    // the VXI-11 error. op answers a board's iberr.
    using Op = std::function<int(Board&, Link&, gpibdrv::Timeout)>;
    int run(const Client& c, int32_t lid, Need need, int flags, uint32_t lockTimeoutMs,
            uint32_t ioTimeoutMs, const Op& op);
    int waitForLock(std::unique_lock<std::mutex>& hold, Link& link, int flags,
                    uint32_t lockTimeoutMs);
    void endOperation(Link& link);
    void destroyLocked(const std::shared_ptr<Link>& link, const char* why);
    int ensureOpen(Board& b);
    // What the status shows of a board opened or lost; under m_lock.
    void showState(Board& b);
    Board* boardAt(int index);
    std::vector<InterfaceView> interfaceViews();
    std::pair<int, int> lockKey(const Link& link) const;
    // Whether no other link's lock keeps this one out: the interface link
    // stands for every device of its board, so its lock keeps others off
    // all of them, and another link's lock on any of them keeps it out.
    bool lockFree(const Link& link) const;

    // The interface link's bus commands (gateway_core_bus.cpp).
    int sendCommands(Board& b, std::string_view bytes, gpibdrv::Timeout t);
    int busStatus(Board& b, int which, int& value);
    int emulatedNdac(Board& b, bool& ndac);

    // The SRQ watch (gateway_srq.cpp).
    void watchSrq();
    void notifySrq(Board& b);

    CoreSettings m_settings;
    std::unique_ptr<GatewayIdentity> m_identity;  // inst0, unless a device is named for it
    std::vector<std::unique_ptr<Board>> m_boards;

    std::mutex m_lock;
    std::condition_variable m_lockFreed;
    std::map<int32_t, std::shared_ptr<Link>> m_links;
    int32_t m_nextLid = 1;
    std::map<std::pair<int, int>, int32_t> m_lockHolders;  // (board, device slot) -> lid
    std::map<int, std::shared_ptr<IntrChannel>> m_intr;    // by connection
    bool m_stopping = false;

    std::condition_variable m_srqWake;
    std::thread m_srqWatch;
};

}  // namespace gateway
