#include "gateway/vxi11_args.h"

#include "vxi11/vxi11_codes.h"

namespace gateway {

bool decode(XdrReader& x, CreateLinkArgs& a) {
    return x.i32(a.clientId) && x.boolean(a.lockDevice) && x.u32(a.lockTimeout) &&
           x.opaque(a.device, kMaxLinkName);
}

bool decode(XdrReader& x, WriteArgs& a) {
    return x.i32(a.lid) && x.u32(a.ioTimeout) && x.u32(a.lockTimeout) && x.i32(a.flags) &&
           x.opaque(a.data);
}

bool decode(XdrReader& x, ReadArgs& a) {
    int32_t term = 0;
    if (!(x.i32(a.lid) && x.u32(a.requestSize) && x.u32(a.ioTimeout) && x.u32(a.lockTimeout) &&
          x.i32(a.flags) && x.i32(term)))
        return false;
    a.termChar = uint8_t(term);  // a char travels as a whole word
    return true;
}

bool decode(XdrReader& x, GenericArgs& a) {
    return x.i32(a.lid) && x.i32(a.flags) && x.u32(a.lockTimeout) && x.u32(a.ioTimeout);
}

bool decode(XdrReader& x, LockArgs& a) {
    return x.i32(a.lid) && x.i32(a.flags) && x.u32(a.lockTimeout);
}

bool decode(XdrReader& x, EnableSrqArgs& a) {
    return x.i32(a.lid) && x.boolean(a.enable) && x.opaque(a.handle, vxi11::kMaxSrqHandle);
}

bool decode(XdrReader& x, DocmdArgs& a) {
    return x.i32(a.lid) && x.i32(a.flags) && x.u32(a.ioTimeout) && x.u32(a.lockTimeout) &&
           x.i32(a.cmd) && x.boolean(a.networkOrder) && x.i32(a.datasize) && x.opaque(a.data);
}

bool decode(XdrReader& x, RemoteFuncArgs& a) {
    return x.u32(a.hostAddr) && x.u32(a.hostPort) && x.u32(a.progNum) && x.u32(a.progVers) &&
           x.u32(a.family) && a.hostPort <= 65535;
}

bool decode(XdrReader& x, Mapping& a) {
    return x.u32(a.program) && x.u32(a.version) && x.u32(a.protocol) && x.u32(a.port);
}

bool decode(XdrReader& x, int32_t& lid) {
    return x.i32(lid);
}

bool claimedWriteLength(XdrReader& x, uint32_t& length) {
    int32_t lid = 0, flags = 0;
    uint32_t io = 0, lock = 0;
    return x.i32(lid) && x.u32(io) && x.u32(lock) && x.i32(flags) && x.u32(length);
}

}  // namespace gateway
