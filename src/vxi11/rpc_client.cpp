#include "vxi11/rpc_client.h"

#include <netinet/in.h>
#include <poll.h>
#include <rpc/pmap_prot.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "net/monotonic.h"
#include "net/socket.h"

namespace vxi11 {

namespace {

int64_t usOf(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

std::string errnoText(int e) {
    return std::strerror(e);
}

}  // namespace

bool RpcClient::connect(const std::string& host, int port, uint32_t program, uint32_t version,
                        Clock::time_point deadline, std::string& reason) {
    close();
    net::Socket s = net::connectHost(host, port, usOf(deadline), reason, &m_stop);
    if (!s.valid())
        return false;
    m_fd = s.release();
    m_program = program;
    m_version = version;
    xdrrec_create(&m_xdr, 0, 0, reinterpret_cast<char*>(this), readSome, writeAll);
    return true;
}

bool RpcClient::peerOpen() const {
    if (m_fd < 0)
        return false;
    pollfd p{m_fd, POLLIN | POLLRDHUP, 0};
    return ::poll(&p, 1, 0) == 0 || (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0;
}

void RpcClient::close() {
    if (m_fd < 0)
        return;
    xdr_destroy(&m_xdr);
    ::close(m_fd);
    m_fd = -1;
}

int RpcClient::readSome(void* self, void* buffer, int length) {
    auto* c = static_cast<RpcClient*>(self);
    // A gateway on the same host or a fast network answers within
    // microseconds: looking for the answer a little while before sleeping
    // spares each call the wake-up of an idle processor, which can cost more
    // than the call itself.
    const int64_t spinUntil = std::min(c->m_deadlineUs, net::monotonicUs() + 150);
    for (;;) {
        ssize_t n = ::recv(c->m_fd, buffer, size_t(length), MSG_DONTWAIT);
        if (n > 0)
            return int(n);
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            c->m_error = n == 0 ? ECONNRESET : errno;
            return -1;
        }
        if (net::monotonicUs() < spinUntil && !c->m_stop.raised())
            continue;
        size_t got = 0;
        int error = 0;
        switch (net::readSome(c->m_fd, static_cast<char*>(buffer), size_t(length), c->m_deadlineUs,
                              got, error, &c->m_stop)) {
            case net::Io::Done:
                return int(got);
            case net::Io::Lost:
                c->m_error = error ? error : ECONNRESET;
                return -1;
            case net::Io::Timeout:
            case net::Io::Interrupted:
                c->m_timedOut = true;
                return -1;
        }
    }
}

int RpcClient::writeAll(void* self, void* buffer, int length) {
    auto* c = static_cast<RpcClient*>(self);
    int error = 0;
    switch (net::writeAll(c->m_fd, static_cast<const char*>(buffer), size_t(length),
                          c->m_deadlineUs, error, &c->m_stop)) {
        case net::Io::Done:
            return length;
        case net::Io::Lost:
            c->m_error = error;
            return -1;
        case net::Io::Timeout:
        case net::Io::Interrupted:
            break;
    }
    // A gateway that stops reading cannot hold a large write for good.
    c->m_timedOut = true;
    return -1;
}

CallOutcome RpcClient::call(uint32_t procedure, xdrproc_t in, const void* args, xdrproc_t out,
                            void* result, Clock::time_point deadline, std::string& reason) {
    m_deadlineUs = usOf(deadline);
    if (m_fd < 0 || m_deadlineUs <= net::monotonicUs() || m_stop.raised()) {
        reason = m_fd < 0          ? "not connected"
                 : m_stop.raised() ? "interrupted"
                                   : "no time left for the call";
        return m_fd >= 0 ? CallOutcome::NoAnswer : CallOutcome::Lost;
    }
    m_timedOut = false;
    m_error = 0;
    auto failed = [&](const char* what) {
        reason = m_timedOut ? (m_stop.raised() ? "interrupted" : "no answer before the timeout")
                            : std::string(what) + (m_error ? ": " + errnoText(m_error) : "");
        return m_timedOut ? CallOutcome::NoAnswer : CallOutcome::Lost;
    };

    rpc_msg request{};
    request.rm_xid = ++m_xid;
    request.rm_direction = CALL;
    request.rm_call.cb_rpcvers = RPC_MSG_VERSION;
    request.rm_call.cb_prog = m_program;
    request.rm_call.cb_vers = m_version;
    request.rm_call.cb_proc = procedure;
    request.rm_call.cb_cred = _null_auth;
    request.rm_call.cb_verf = _null_auth;
    m_xdr.x_op = XDR_ENCODE;
    if (!xdr_callmsg(&m_xdr, &request) || !in(&m_xdr, const_cast<void*>(args)) ||
        !xdrrec_endofrecord(&m_xdr, TRUE))
        return failed("the call could not be sent");

    for (;;) {
        m_xdr.x_op = XDR_DECODE;
        if (!xdrrec_skiprecord(&m_xdr))
            return failed("the answer could not be read");
        rpc_msg reply{};
        std::array<char, MAX_AUTH_BYTES> verifier;  // decoded in place, never allocated
        reply.acpted_rply.ar_verf.oa_base = verifier.data();
        reply.acpted_rply.ar_results.where = static_cast<caddr_t>(result);
        reply.acpted_rply.ar_results.proc = out;
        if (!xdr_replymsg(&m_xdr, &reply))
            return failed("the answer is not a valid reply");
        if (reply.rm_xid != m_xid)
            continue;  // a late answer to a call given up on: not this one
        if (reply.rm_reply.rp_stat != MSG_ACCEPTED || reply.acpted_rply.ar_stat != SUCCESS) {
            reason = reply.rm_reply.rp_stat != MSG_ACCEPTED
                         ? "the gateway refused the call"
                         : "the gateway does not run this call (RPC status " +
                               std::to_string(int(reply.acpted_rply.ar_stat)) + ")";
            return CallOutcome::Lost;
        }
        return CallOutcome::Done;
    }
}

int lookUpPort(const std::string& host, int portmapperPort, uint32_t program, uint32_t version,
               Clock::time_point deadline, std::string& reason) {
    RpcClient portmapper;
    if (!portmapper.connect(host, portmapperPort, PMAPPROG, PMAPVERS, deadline, reason)) {
        reason = "portmapper at port " + std::to_string(portmapperPort) + ": " + reason;
        return -1;
    }
    pmap wanted{program, version, IPPROTO_TCP, 0};
    u_long port = 0;
    CallOutcome outcome =
        portmapper.call(PMAPPROC_GETPORT, reinterpret_cast<xdrproc_t>(xdr_pmap), &wanted,
                        reinterpret_cast<xdrproc_t>(xdr_u_long), &port, deadline, reason);
    if (outcome != CallOutcome::Done) {
        reason = "portmapper at port " + std::to_string(portmapperPort) + ": " + reason;
        return -1;
    }
    return port > 65535 ? 0 : int(port);
}

}  // namespace vxi11
