#pragma once
// The RPC programs tm-gateway answers: DEVICE_CORE and DEVICE_ASYNC from the
// core, and the portmapper's GETPORT and DUMP for them and itself. Each record a connection
// brings is judged as ONC RPC requires (a reply where one can be addressed,
// the connection closed where none can), its arguments decoded in place,
// and the reply made whole before it is written. It also keeps a count of
// every call for the benchmarks, and plays the faults tests ask for.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gateway/gateway_core.h"
#include "gateway/rpc_message.h"
#include "gateway/vxi11_args.h"

namespace gateway {

enum class Fault {
    None,
    DropMidRead,  // device_read: part of a reply, then the connection closes
    ErrorCode,    // device_write and device_read answer an error code
    NeverAnswer   // device_write and device_read are taken and never answered
};

struct Ports {
    uint16_t core = 0;
    uint16_t abort = 0;
    // Our own portmapper's, over TCP and over UDP; 0 where none of ours.
    uint16_t portmapperTcp = 0;
    uint16_t portmapperUdp = 0;
};

// What to do after a record.
struct Outcome {
    bool close = false;    // close the connection (after the reply, if any)
    size_t sendOnly = 0;   // >0: send this much of the reply, then close
    const char* why = "";  // for the log, when closing or refusing
};

class GatewayService {
  public:
    GatewayService(GatewayCore& core, Ports ports, uint32_t maxRecvSize, Fault fault,
                   int faultError)
        : m_core(core),
          m_ports(ports),
          m_maxRecvSize(maxRecvSize),
          m_fault(fault),
          m_faultError(faultError) {}

    // The largest record kept whole, and the largest skipped unkept.
    size_t keepLimit() const { return size_t(m_maxRecvSize) + 2048; }
    static constexpr size_t kHardLimit = 64u << 20;

    // A record from a core or abort connection: the reply (empty for none).
    void serve(const Client& c, std::string_view record, bool truncated, std::string& reply,
               Outcome& outcome);
    // A record (or a datagram's payload) for the portmapper.
    void servePortmapper(std::string_view record, std::string& reply, Outcome& outcome);

    // The time one call took the server, from its whole record to its
    // whole reply written, for the count below.
    void served(int64_t us) {
        m_servedUs += us;
        ++m_served;
    }
    // "portmapper GETPORT 1, create_link 1, device_write 1000, ...; 3.1 us per call"
    std::string counts() const;
    // The same counts, each call by its name, those not made left out.
    std::vector<std::pair<std::string, unsigned long>> callCounts() const;

  private:
    void serveCore(const Client& c, const CallHeader& h, XdrReader& args, std::string& reply,
                   Outcome& outcome);
    void serveAbort(const Client& c, const CallHeader& h, XdrReader& args, std::string& reply);
    bool faulted(const CallHeader& h, std::string& reply, Outcome& outcome);
    // What our own portmapper maps: itself, and the two channels.
    std::vector<Mapping> mappings() const;

    GatewayCore& m_core;
    Ports m_ports;
    uint32_t m_maxRecvSize;
    Fault m_fault;
    int m_faultError;
    std::array<std::atomic<unsigned long>, 32> m_calls{};  // by procedure
    std::atomic<unsigned long> m_aborts{0}, m_portLookups{0}, m_dumps{0};
    std::atomic<int64_t> m_servedUs{0}, m_served{0};
};

}  // namespace gateway
