#include "boards/portmap_datagram.h"

#include <rpc/rpc.h>

#include <rpc/pmap_prot.h>  // after rpc.h, whose types it uses

#include <string_view>

#include "gateway/xdr.h"
#include "vxi11/vxi11_rpc.h"

namespace boards {

namespace {

constexpr uint32_t kTcp = 6;
constexpr uint32_t kCall = 0, kReply = 1, kRpcVersion = 2;
constexpr uint32_t kAccepted = 0, kSuccess = 0;
constexpr uint32_t kMaxAuthBytes = 400;

}  // namespace

std::string getPortCall(uint32_t xid) {
    std::string s;
    gateway::XdrWriter w(s);
    for (uint32_t v : {xid, kCall, kRpcVersion, uint32_t(PMAPPROG), uint32_t(PMAPVERS),
                       uint32_t(PMAPPROC_GETPORT), uint32_t(0), uint32_t(0),  // no credentials
                       uint32_t(0), uint32_t(0),                              // no verifier
                       uint32_t(DEVICE_CORE), uint32_t(DEVICE_CORE_VERSION), kTcp, uint32_t(0)})
        w.u32(v);
    return s;
}

PortReply readPortReply(const uint8_t* data, size_t size, uint32_t xid) {
    PortReply r;
    gateway::XdrReader in(std::string_view(reinterpret_cast<const char*>(data), size));
    uint32_t got = 0, direction = 0, status = 0;
    if (!in.u32(got) || !in.u32(direction) || direction != kReply)
        return r;
    if (got != xid) {
        r.verdict = PortReply::Other;
        return r;
    }
    if (!in.u32(status))
        return r;
    if (status != kAccepted) {
        r.verdict = PortReply::Refused;  // denied: a version or credential it will not take
        return r;
    }
    uint32_t flavour = 0, accept = 0, port = 0;
    std::string_view verifier;
    if (!in.u32(flavour) || !in.opaque(verifier, kMaxAuthBytes) || !in.u32(accept))
        return r;
    if (accept != kSuccess) {
        r.verdict = PortReply::Refused;
        return r;
    }
    if (!in.u32(port) || port > 65535)
        return r;
    r.verdict = port == 0 ? PortReply::NotRegistered : PortReply::Port;
    r.port = int(port);
    return r;
}

}  // namespace boards
