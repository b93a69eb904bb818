#pragma once
// device_read's reply decoded straight into a buffer of the caller's, whose
// capacity bounds what a gateway may send: rpcgen's own decoder would
// allocate whatever length the reply claims.

#include "vxi11/vxi11_rpc.h"

namespace vxi11 {

struct ReadReply {
    int error = 0;
    int reason = 0;
    char* data = nullptr;
    u_int length = 0;
    u_int capacity = 0;
};

inline bool_t xdrReadReply(XDR* x, ReadReply* r) {
    return xdr_int(x, &r->error) && xdr_int(x, &r->reason) &&
           xdr_bytes(x, &r->data, &r->length, r->capacity);
}

}  // namespace vxi11
