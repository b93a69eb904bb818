#pragma once
// A VXI-11 client of the tests' own over a raw socket: well-behaved calls
// for the tests that need them, and any bytes at all for the ones that play
// a hostile client. Replies are read whole, within a deadline.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "gateway/rpc_message.h"
#include "gateway/xdr.h"
#include "net/monotonic.h"
#include "net/socket.h"

namespace gwtest {

constexpr uint32_t kCore = 0x0607AF, kAsync = 0x0607B0;
enum Proc : uint32_t {
    kCreateLink = 10,
    kWrite = 11,
    kRead = 12,
    kReadStb = 13,
    kTrigger = 14,
    kClear = 15,
    kRemote = 16,
    kLocal = 17,
    kLock = 18,
    kUnlock = 19,
    kEnableSrq = 20,
    kDocmd = 22,
    kDestroyLink = 23,
    kCreateIntrChan = 25,
    kDestroyIntrChan = 26,
    kAbort = 1,
};

struct Reply {
    bool came = false;  // a whole record arrived
    uint32_t xid = 0;
    uint32_t status = 99;               // 0 MSG_ACCEPTED, 1 MSG_DENIED
    uint32_t accept = 99;               // accept_stat (accepted) or reject_stat (denied)
    uint32_t detail1 = 0, detail2 = 0;  // the version range, or the auth_stat
    std::string body;                   // the results, after an accepted header
};

class RawClient {
  public:
    // Connects to 127.0.0.1:port within 3 s, from the loopback address
    // `from` when given, with a receive buffer of this size when given.
    explicit RawClient(int port, const char* from = nullptr, int receiveBuffer = 0) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        if (from) {
            sockaddr_in me{};
            me.sin_family = AF_INET;
            inet_pton(AF_INET, from, &me.sin_addr);
            ::bind(m_fd, reinterpret_cast<sockaddr*>(&me), sizeof me);
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // A server that takes no connections must not hold the test.
        int error = 0;
        socklen_t size = sizeof error;
        m_up = ::connect(m_fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 ||
               (errno == EINPROGRESS &&
                net::waitFor(m_fd, POLLOUT, net::monotonicUs() + 3'000'000) > 0 &&
                ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0);
        net::noDelay(m_fd);
    }
    ~RawClient() { close(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool up() const { return m_up; }
    int fd() const { return m_fd; }
    void close() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool send(std::string_view bytes) {
        int error = 0;
        return net::writeAll(m_fd, bytes.data(), bytes.size(), net::monotonicUs() + 5'000'000,
                             error) == net::Io::Done;
    }
    // The next record, within ms.
    bool record(std::string& body, int ms = 3000) {
        const int64_t deadline = net::monotonicUs() + int64_t(ms) * 1000;
        gateway::RecordAssembler records(64 << 20, 64 << 20);
        for (;;) {
            if (!m_pending.empty()) {
                size_t used = records.feed(m_pending.data(), m_pending.size());
                m_pending.erase(0, used);
                if (records.state() == gateway::RecordAssembler::State::Complete) {
                    body.assign(records.record());
                    return true;
                }
                if (records.state() == gateway::RecordAssembler::State::Refused)
                    return false;
            }
            char buffer[65536];
            size_t got = 0;
            int error = 0;
            if (net::readSome(m_fd, buffer, sizeof buffer, deadline, got, error) != net::Io::Done)
                return false;
            m_pending.append(buffer, got);
        }
    }
    // Whether the peer closes the connection within ms (what it sent before
    // is skipped).
    bool closedWithin(int ms) {
        const int64_t deadline = net::monotonicUs() + int64_t(ms) * 1000;
        for (;;) {
            char buffer[4096];
            size_t got = 0;
            int error = 0;
            net::Io io = net::readSome(m_fd, buffer, sizeof buffer, deadline, got, error);
            if (io == net::Io::Lost)
                return true;
            if (io != net::Io::Done)
                return false;
        }
    }
    Reply reply(int ms = 3000) {
        Reply r;
        std::string body;
        if (!(r.came = record(body, ms)))
            return r;
        gateway::XdrReader x(body);
        uint32_t direction = 0, flavour = 0;
        std::string_view verifier;
        x.u32(r.xid);
        x.u32(direction);
        x.u32(r.status);
        if (r.status == 1) {
            x.u32(r.accept);
            x.u32(r.detail1);
            x.u32(r.detail2);
            return r;
        }
        x.u32(flavour);
        x.opaque(verifier);
        x.u32(r.accept);
        r.body.assign(body, body.size() - x.left());
        if (r.accept == 2) {  // PROG_MISMATCH
            gateway::XdrReader range(r.body);
            range.u32(r.detail1);
            range.u32(r.detail2);
        }
        return r;
    }
    // A call whose arguments args writes; its reply.
    template <typename Args>
    Reply call(uint32_t program, uint32_t procedure, Args&& args, int ms = 3000,
               uint32_t version = 1) {
        std::string c;
        gateway::beginCall(c, ++m_xid, program, version, procedure);
        gateway::XdrWriter w(c);
        args(w);
        gateway::finishReply(c);
        if (!send(c))
            return {};
        return reply(ms);
    }

    // The VXI-11 calls the tests make, each answering the error.
    int createLink(const std::string& name, int32_t& lid, bool lock = false, uint32_t lockMs = 0,
                   uint32_t* abortPort = nullptr, uint32_t* maxRecv = nullptr) {
        Reply r = call(kCore, kCreateLink, [&](gateway::XdrWriter& w) {
            w.i32(7);
            w.boolean(lock);
            w.u32(lockMs);
            w.opaque(name);
        });
        gateway::XdrReader x(r.body);
        int32_t error = -1;
        uint32_t abort = 0, max = 0;
        if (!r.came || r.accept != 0 || !x.i32(error) || !x.i32(lid) || !x.u32(abort) ||
            !x.u32(max))
            return -1;
        if (abortPort)
            *abortPort = abort;
        if (maxRecv)
            *maxRecv = max;
        return error;
    }
    int write(int32_t lid, std::string_view data, uint32_t ioMs = 2000, int32_t flags = 8,
              uint32_t* size = nullptr, int replyMs = 5000) {
        Reply r = call(
            kCore, kWrite,
            [&](gateway::XdrWriter& w) {
                w.i32(lid);
                w.u32(ioMs);
                w.u32(0);
                w.i32(flags);
                w.opaque(data);
            },
            replyMs);
        gateway::XdrReader x(r.body);
        int32_t error = -1;
        uint32_t n = 0;
        if (!r.came || r.accept != 0 || !x.i32(error) || !x.u32(n))
            return -1;
        if (size)
            *size = n;
        return error;
    }
    // "reason:data", or "error N", or "no reply".
    std::string read(int32_t lid, uint32_t count = 256, uint32_t ioMs = 2000, int term = -1,
                     int replyMs = 5000) {
        Reply r = call(
            kCore, kRead,
            [&](gateway::XdrWriter& w) {
                w.i32(lid);
                w.u32(count);
                w.u32(ioMs);
                w.u32(0);
                w.i32(term >= 0 ? 0x80 : 0);
                w.i32(term >= 0 ? term : 0);
            },
            replyMs);
        gateway::XdrReader x(r.body);
        int32_t error = -1, reason = 0;
        std::string_view data;
        if (!r.came || r.accept != 0 || !x.i32(error) || !x.i32(reason) || !x.opaque(data))
            return "no reply";
        return error ? "error " + std::to_string(error)
                     : std::to_string(reason) + ":" + std::string(data);
    }
    std::string query(int32_t lid, const std::string& q, uint32_t ioMs = 2000) {
        int e = write(lid, q + "\n", ioMs);
        return e ? "write error " + std::to_string(e) : read(lid, 256, ioMs);
    }
    // The error of a call that answers Device_Error for a link.
    int onLink(uint32_t procedure, int32_t lid, int replyMs = 5000, uint32_t program = kCore) {
        return errorOf(call(
            program, procedure, [&](gateway::XdrWriter& w) { w.i32(lid); }, replyMs));
    }
    int generic(uint32_t procedure, int32_t lid, int32_t flags = 0, uint32_t lockMs = 0,
                uint32_t ioMs = 2000) {
        return errorOf(call(kCore, procedure, [&](gateway::XdrWriter& w) {
            w.i32(lid);
            w.i32(flags);
            w.u32(lockMs);
            w.u32(ioMs);
        }));
    }
    int lock(int32_t lid, int32_t flags = 0, uint32_t lockMs = 0) {
        return errorOf(call(kCore, kLock, [&](gateway::XdrWriter& w) {
            w.i32(lid);
            w.i32(flags);
            w.u32(lockMs);
        }));
    }
    static int errorOf(const Reply& r) {
        gateway::XdrReader x(r.body);
        int32_t error = -1;
        return r.came && r.accept == 0 && x.i32(error) ? error : -1;
    }

  private:
    int m_fd = -1;
    bool m_up = false;
    uint32_t m_xid = 0;
    std::string m_pending;
};

// Whether a client connecting from `from` gets its NULL call to this
// program answered within ms: served, not refused.
inline bool nullAnswered(int port, const char* from, uint32_t program, uint32_t version,
                         int ms = 1000) {
    RawClient c(port, from);
    const Reply r = c.call(
        program, 0, [](gateway::XdrWriter&) {}, ms, version);
    return r.came && r.status == 0 && r.accept == 0;
}

}  // namespace gwtest
