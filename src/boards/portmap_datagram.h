#pragma once
// The one portmapper question tm-boards find asks over UDP, to a host or to
// the broadcast address of a network: which TCP port has the VXI-11 core
// channel (GETPORT for program 0x0607AF, version 1)? And the reading of a
// reply, which may come from anyone on the network: every length is checked
// against the datagram before a byte of it is used.

#include <cstddef>
#include <cstdint>
#include <string>

namespace boards {

// The call, ready to send.
std::string getPortCall(uint32_t xid);

struct PortReply {
    enum Verdict {
        Port,           // port holds the core channel's port
        NotRegistered,  // a portmapper, without a VXI-11 server behind it
        Refused,        // a portmapper that would not answer the call
        Other,          // an answer to another call (another xid)
        Garbage         // not a portmapper's reply at all
    } verdict = Garbage;
    int port = 0;
};

PortReply readPortReply(const uint8_t* data, size_t size, uint32_t xid);

}  // namespace boards
