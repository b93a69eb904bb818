#pragma once
// The arguments of the VXI-11 calls (laid out in src/vxi11/vxi11_rpc.x) as
// the server decodes them: in place, every variable part a view into the
// received record and checked against what is there. The client encodes
// the same layouts through libtirpc; the server does not use libtirpc's
// decoders because they allocate whatever length a client claims before
// they look for the bytes.

#include <cstdint>
#include <string_view>

#include "gateway/xdr.h"

namespace gateway {

struct CreateLinkArgs {
    int32_t clientId = 0;
    bool lockDevice = false;
    uint32_t lockTimeout = 0;
    std::string_view device;
};
struct WriteArgs {
    int32_t lid = 0;
    uint32_t ioTimeout = 0, lockTimeout = 0;
    int32_t flags = 0;
    std::string_view data;
};
struct ReadArgs {
    int32_t lid = 0;
    uint32_t requestSize = 0, ioTimeout = 0, lockTimeout = 0;
    int32_t flags = 0;
    uint8_t termChar = 0;
};
struct GenericArgs {
    int32_t lid = 0, flags = 0;
    uint32_t lockTimeout = 0, ioTimeout = 0;
};
struct LockArgs {
    int32_t lid = 0, flags = 0;
    uint32_t lockTimeout = 0;
};
struct EnableSrqArgs {
    int32_t lid = 0;
    bool enable = false;
    std::string_view handle;
};
struct DocmdArgs {
    int32_t lid = 0, flags = 0;
    uint32_t ioTimeout = 0, lockTimeout = 0;
    int32_t cmd = 0;
    bool networkOrder = false;
    int32_t datasize = 0;
    std::string_view data;
};
struct RemoteFuncArgs {
    uint32_t hostAddr = 0, hostPort = 0, progNum = 0, progVers = 0, family = 0;
};
// The portmapper's GETPORT (and SET/UNSET) argument.
struct Mapping {
    uint32_t program = 0, version = 0, protocol = 0, port = 0;
};

// Link names are short; a longer one is not a name.
constexpr uint32_t kMaxLinkName = 256;

bool decode(XdrReader& x, CreateLinkArgs& a);
bool decode(XdrReader& x, WriteArgs& a);
bool decode(XdrReader& x, ReadArgs& a);
bool decode(XdrReader& x, GenericArgs& a);
bool decode(XdrReader& x, LockArgs& a);
bool decode(XdrReader& x, EnableSrqArgs& a);
bool decode(XdrReader& x, DocmdArgs& a);
bool decode(XdrReader& x, RemoteFuncArgs& a);
bool decode(XdrReader& x, Mapping& a);
bool decode(XdrReader& x, int32_t& lid);

// A device_write cut short because its data went beyond what is kept: the
// length it claims, read from the part that came.
bool claimedWriteLength(XdrReader& x, uint32_t& length);

}  // namespace gateway
