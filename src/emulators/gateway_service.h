#pragma once
// The emulated gateway's RPC programs: DEVICE_CORE and DEVICE_ASYNC answered
// from the core, the portmapper's GETPORT answered for them, the faults a
// test asks for, and a count of every call for the benchmarks.

#include <array>
#include <atomic>
#include <string>

#include "emulators/gateway_core.h"
#include "emulators/rpc_service.h"

namespace emulators {

enum class GatewayFault {
    None,
    DropMidRead,  // device_read: part of a reply, then the connection closes
    ErrorCode,    // device_write and device_read answer an error code
    NeverAnswer   // device_write and device_read are taken and never answered
};

struct GatewayPorts {
    unsigned short core = 0;
    unsigned short abort = 0;
};

class GatewayService {
  public:
    GatewayService(GatewayCore& core, GatewayPorts ports, GatewayFault fault, int faultError)
        : m_core(core), m_ports(ports), m_fault(fault), m_faultError(faultError) {}

    // A call on a core or abort connection; connection names the links' owner.
    void serve(RpcCall& call, int connection);
    // A call to the portmapper.
    void servePortmapper(RpcCall& call);

    // "create_link 1, device_write 1000, ..." for the procedures called.
    std::string counts() const;

  private:
    void serveCore(RpcCall& call, int connection);
    void serveAbort(RpcCall& call);
    // The fault, when it applies to this call: true when the call is done.
    bool faulted(RpcCall& call);

    GatewayCore& m_core;
    GatewayPorts m_ports;
    GatewayFault m_fault;
    int m_faultError;
    std::array<std::atomic<unsigned long>, 32> m_calls{};  // by procedure
    std::atomic<unsigned long> m_aborts{0}, m_portLookups{0};
};

}  // namespace emulators
