#include "emulators/rpc_service.h"

#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <chrono>

namespace emulators {

namespace {

constexpr uint32_t kRpcVersion = 2;

struct Stream {
    int fd;
    bool dropped = false;
};

int readStream(void* handle, void* buffer, int length) {
    auto* s = static_cast<Stream*>(handle);
    // A client's next call mostly follows its last answer at once. Looking for
    // it a little while before going to sleep spares each call the wake-up of
    // an idle processor, which on a virtual machine costs more than the call.
    const auto spinUntil = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
    do {
        ssize_t n = ::recv(s->fd, buffer, size_t(length), MSG_DONTWAIT);
        if (n > 0)
            return int(n);
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return -1;
    } while (std::chrono::steady_clock::now() < spinUntil);
    for (;;) {
        ssize_t n = ::recv(s->fd, buffer, size_t(length), 0);
        if (n > 0)
            return int(n);
        if (n < 0 && errno == EINTR)
            continue;
        return -1;  // closed, reset, or shut down for the emulator's exit
    }
}

int writeStream(void* handle, void* buffer, int length) {
    auto* s = static_cast<Stream*>(handle);
    const char* p = static_cast<const char*>(buffer);
    for (int left = length; left > 0;) {
        ssize_t n = ::send(s->fd, p, size_t(left), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        p += n;
        left -= int(n);
    }
    return length;
}

// The reply header both transports write.
rpc_msg acceptedReply(uint32_t xid, accept_stat status) {
    rpc_msg r{};
    r.rm_xid = xid;
    r.rm_direction = REPLY;
    r.rm_reply.rp_stat = MSG_ACCEPTED;
    r.acpted_rply.ar_verf = _null_auth;
    r.acpted_rply.ar_stat = status;
    return r;
}

class Call : public RpcCall {
  public:
    Call(XDR& in, XDR& out, uint32_t xid) : m_in(in), m_out(out), m_xid(xid) {}

    void reply(xdrproc_t proc, const void* where) override {
        rpc_msg r = acceptedReply(m_xid, SUCCESS);
        r.acpted_rply.ar_results.where = static_cast<caddr_t>(const_cast<void*>(where));
        r.acpted_rply.ar_results.proc = proc;
        finish(r);
    }
    void refuse(accept_stat why, uint32_t low, uint32_t high) override {
        rpc_msg r = acceptedReply(m_xid, why);
        r.acpted_rply.ar_vers.low = low;
        r.acpted_rply.ar_vers.high = high;
        finish(r);
    }
    bool answered() const { return m_answered; }

  protected:
    XDR* input() override { return &m_in; }
    virtual void finish(rpc_msg& r) {
        m_out.x_op = XDR_ENCODE;
        m_answered = xdr_replymsg(&m_out, &r);
    }
    XDR& m_in;
    XDR& m_out;
    uint32_t m_xid;
    bool m_answered = false;
};

class StreamCall : public Call {
  public:
    StreamCall(XDR& x, Stream& s, uint32_t xid) : Call(x, x, xid), m_stream(s) {}

    void dropMidReply() override {
        // A record mark promising 64 bytes, then the transaction id, then
        // nothing: the client is left in the middle of a reply.
        const std::array<uint8_t, 8> part{0x80,
                                          0,
                                          0,
                                          64,
                                          uint8_t(m_xid >> 24),
                                          uint8_t(m_xid >> 16),
                                          uint8_t(m_xid >> 8),
                                          uint8_t(m_xid)};
        ::send(m_stream.fd, part.data(), part.size(), MSG_NOSIGNAL);
        ::shutdown(m_stream.fd, SHUT_RDWR);
        m_stream.dropped = true;
    }

  protected:
    void finish(rpc_msg& r) override {
        Call::finish(r);
        xdrrec_endofrecord(&m_out, TRUE);
    }

  private:
    Stream& m_stream;
};

// The call header; the credentials are read into fixed buffers and ignored.
bool readCall(XDR& x, rpc_msg& msg, std::array<char, 2 * MAX_AUTH_BYTES>& auth) {
    msg = rpc_msg{};
    msg.rm_call.cb_cred.oa_base = auth.data();
    msg.rm_call.cb_verf.oa_base = auth.data() + MAX_AUTH_BYTES;
    return xdr_callmsg(&x, &msg) && msg.rm_direction == CALL;
}

void dispatch(RpcCall& call, const rpc_msg& msg, const RpcService& service) {
    call.program = uint32_t(msg.rm_call.cb_prog);
    call.version = uint32_t(msg.rm_call.cb_vers);
    call.procedure = uint32_t(msg.rm_call.cb_proc);
    if (msg.rm_call.cb_rpcvers != kRpcVersion) {
        call.refuse(SYSTEM_ERR);
        return;
    }
    service(call);
}

}  // namespace

void serveStream(int fd, const RpcService& service) {
    Stream stream{fd};
    XDR x;
    xdrrec_create(&x, 0, 0, &stream, readStream, writeStream);
    std::array<char, 2 * MAX_AUTH_BYTES> auth;
    while (!stream.dropped) {
        x.x_op = XDR_DECODE;
        xdrrec_skiprecord(&x);
        rpc_msg msg;
        if (!readCall(x, msg, auth))
            break;
        StreamCall call(x, stream, uint32_t(msg.rm_xid));
        dispatch(call, msg, service);
    }
    xdr_destroy(&x);
}

void serveDatagram(int fd, const RpcService& service) {
    std::array<char, 8800> in, out;
    sockaddr_storage from{};
    socklen_t fromLength = sizeof from;
    ssize_t n =
        ::recvfrom(fd, in.data(), in.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n <= 0)
        return;
    XDR decode, encode;
    xdrmem_create(&decode, in.data(), u_int(n), XDR_DECODE);
    xdrmem_create(&encode, out.data(), u_int(out.size()), XDR_ENCODE);
    std::array<char, 2 * MAX_AUTH_BYTES> auth;
    rpc_msg msg;
    if (readCall(decode, msg, auth)) {
        Call call(decode, encode, uint32_t(msg.rm_xid));
        dispatch(call, msg, service);
        if (call.answered())
            ::sendto(fd, out.data(), xdr_getpos(&encode), 0, reinterpret_cast<sockaddr*>(&from),
                     fromLength);
    }
    xdr_destroy(&decode);
    xdr_destroy(&encode);
}

}  // namespace emulators
