#pragma once
// The server side of ONC RPC for the emulated gateway: calls read from a TCP
// stream (record marking) or a UDP datagram, handed to a service that
// decodes the arguments it expects and answers, refuses, stays silent or
// drops the connection (the last two for the faults tests provoke).

#include <rpc/rpc.h>

#include <cstdint>
#include <functional>

namespace emulators {

class RpcCall {
  public:
    virtual ~RpcCall() = default;

    uint32_t program = 0, version = 0, procedure = 0;

    // Decodes the arguments into where (free them with xdr_free); false
    // when they do not decode, after answering GARBAGE_ARGS.
    template <typename T>
    bool arguments(bool_t (*proc)(XDR*, T*), T* where) {
        if (proc(input(), where))
            return true;
        refuse(GARBAGE_ARGS);
        return false;
    }
    virtual void reply(xdrproc_t proc, const void* where) = 0;
    // PROG_UNAVAIL, PROC_UNAVAIL; PROG_MISMATCH with the versions served.
    virtual void refuse(accept_stat why, uint32_t low = 0, uint32_t high = 0) = 0;
    // Closes the connection with part of a reply sent, as a gateway that
    // loses power in the middle of an answer (a stream only).
    virtual void dropMidReply() {}

  protected:
    virtual XDR* input() = 0;
};

using RpcService = std::function<void(RpcCall&)>;

// Serves the calls arriving on a connected stream socket until the peer
// closes it, it is shut down, or a call drops it. Leaves fd open.
void serveStream(int fd, const RpcService& service);

// Answers the one datagram waiting on a UDP socket.
void serveDatagram(int fd, const RpcService& service);

}  // namespace emulators
