#pragma once
// One ONC RPC connection over TCP with every step bounded in time: the name
// lookup, the connect, each call (the network layer's waits). libtirpc
// encodes the messages (its record marking and XDR routines); the socket is
// ours, so that no call waits longer than its caller allows, a gateway that
// closes the connection cannot end the program with SIGPIPE, an answer that
// follows at once is picked up without first putting the thread to sleep,
// and another thread can end a call that waits.

#include <rpc/rpc.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "net/interrupter.h"

namespace vxi11 {

using Clock = std::chrono::steady_clock;

enum class CallOutcome {
    Done,      // the reply arrived and was decoded
    NoAnswer,  // nothing within the deadline, or the wait was interrupted
    Lost       // refused, closed or reset, or a reply that could not be decoded
};

class RpcClient {
  public:
    RpcClient() = default;
    ~RpcClient() { close(); }
    RpcClient(const RpcClient&) = delete;
    RpcClient& operator=(const RpcClient&) = delete;

    // Connects to host:port for the program and version; false, with the
    // reason, when that did not happen before the deadline.
    bool connect(const std::string& host, int port, uint32_t program, uint32_t version,
                 Clock::time_point deadline, std::string& reason);
    bool connected() const { return m_fd >= 0; }
    // False when the peer has closed its end since the last call: the next
    // call could only fail.
    bool peerOpen() const;
    void close();

    // One call. args is encoded by in, the reply decoded by out into result
    // (free what out allocated with xdr_free). On NoAnswer and Lost the
    // connection is no longer usable: close it.
    CallOutcome call(uint32_t procedure, xdrproc_t in, const void* args, xdrproc_t out,
                     void* result, Clock::time_point deadline, std::string& reason);

    // From another thread: the call waiting now, and every one after it
    // until clearInterrupt(), ends at once with NoAnswer.
    void interrupt() { m_stop.raise(); }
    void clearInterrupt() { m_stop.clear(); }

  private:
    // The record stream's ends: whole reads and writes within m_deadline.
    static int readSome(void* self, void* buffer, int length);
    static int writeAll(void* self, void* buffer, int length);

    int m_fd = -1;
    XDR m_xdr{};
    uint32_t m_program = 0, m_version = 0, m_xid = 0;
    int64_t m_deadlineUs = 0;
    bool m_timedOut = false;  // the stream ended at the deadline (or an interrupt), not at the peer
    int m_error = 0;          // errno of the socket call that failed
    net::Interrupter m_stop;
};

// The TCP port the portmapper at host:portmapperPort gives for the program
// and version: 0 when it is not registered, -1 (with the reason) when the
// portmapper could not be asked before the deadline.
int lookUpPort(const std::string& host, int portmapperPort, uint32_t program, uint32_t version,
               Clock::time_point deadline, std::string& reason);

}  // namespace vxi11
