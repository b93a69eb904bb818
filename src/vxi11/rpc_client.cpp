#include "vxi11/rpc_client.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <rpc/pmap_prot.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "vxi11/host_lookup.h"

namespace vxi11 {

namespace {

int msUntil(Clock::time_point deadline) {
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<int64_t>(ms, 0, 24 * 3600 * 1000));
}

timeval timevalOf(int ms) {
    return {ms / 1000, (ms % 1000) * 1000};
}

std::string errnoText(int e) {
    return std::strerror(e);
}

// A write to a connection the gateway has closed raises SIGPIPE, which would
// end the program. The signal is blocked around each call and, when the call
// raised it, taken back before it is unblocked, so the call fails instead.
class SigpipeHeld {
  public:
    SigpipeHeld() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
    }
    ~SigpipeHeld() {
        sigset_t pending;
        sigpending(&pending);
        if (!m_wasPending && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{0, 0};
            while (sigtimedwait(&m_pipe, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;

  private:
    sigset_t m_pipe, m_old;
    bool m_wasPending = false;
};

// A non-blocking connect that gives up at the deadline; the socket is
// blocking again afterwards, as libtirpc expects.
int connectBefore(const sockaddr_storage& peer, socklen_t length, Clock::time_point deadline,
                  std::string& reason) {
    int fd = ::socket(peer.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        reason = errnoText(errno);
        return -1;
    }
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), length);
    if (rc < 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        rc = ::poll(&p, 1, msUntil(deadline));
        if (rc == 0) {
            reason = "no connection before the timeout";
            ::close(fd);
            return -1;
        }
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
        rc = error ? -1 : 0;
        errno = error;
    }
    if (rc < 0) {
        reason = errnoText(errno);
        ::close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace

bool RpcClient::connect(const std::string& host, int port, uint32_t program, uint32_t version,
                        Clock::time_point deadline, std::string& reason) {
    close();
    if (!lookUpHost(host, port, deadline, m_peer, m_peerLength, reason))
        return false;
    m_fd = connectBefore(m_peer, m_peerLength, deadline, reason);
    if (m_fd < 0)
        return false;
    netbuf address{m_peerLength, m_peerLength, &m_peer};
    m_client = clnt_vc_create(m_fd, &address, program, version, 0, 0);
    if (!m_client) {
        reason = clnt_spcreateerror("");
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    clnt_control(m_client, CLSET_FD_CLOSE, nullptr);
    return true;
}

bool RpcClient::peerOpen() const {
    if (!m_client)
        return false;
    pollfd p{m_fd, POLLIN | POLLRDHUP, 0};
    return ::poll(&p, 1, 0) == 0 || (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0;
}

void RpcClient::close() {
    if (m_client)
        clnt_destroy(m_client);  // closes the socket too
    else if (m_fd >= 0)
        ::close(m_fd);
    m_client = nullptr;
    m_fd = -1;
}

CallOutcome RpcClient::call(uint32_t procedure, xdrproc_t in, const void* args, xdrproc_t out,
                            void* result, Clock::time_point deadline, std::string& reason) {
    const int ms = msUntil(deadline);
    if (!m_client || ms <= 0) {
        reason = m_client ? "no time left for the call" : "not connected";
        return m_client ? CallOutcome::NoAnswer : CallOutcome::Lost;
    }
    // The reply wait is libtirpc's; the send side is bounded by the socket,
    // so a gateway that stops reading cannot hold a large write for good.
    timeval wait = timevalOf(ms);
    clnt_control(m_client, CLSET_TIMEOUT, reinterpret_cast<char*>(&wait));
    setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    clnt_stat status;
    {
        SigpipeHeld held;
        status = clnt_call(m_client, procedure, in, const_cast<void*>(args), out, result, wait);
    }
    if (status == RPC_SUCCESS)
        return CallOutcome::Done;
    rpc_err error{};
    clnt_geterr(m_client, &error);
    const bool sendTimedOut = status == RPC_CANTSEND && error.re_errno == EAGAIN;
    reason = clnt_sperrno(status);
    if (error.re_errno && (status == RPC_CANTSEND || status == RPC_CANTRECV))
        reason += std::string(": ") + errnoText(error.re_errno);
    return status == RPC_TIMEDOUT || sendTimedOut ? CallOutcome::NoAnswer : CallOutcome::Lost;
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
