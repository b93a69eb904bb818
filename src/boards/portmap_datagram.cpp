#include "boards/portmap_datagram.h"

namespace boards {

namespace {

constexpr uint32_t kPortmapper = 100000, kPortmapperVersion = 2, kGetPort = 3;
constexpr uint32_t kDeviceCore = 0x0607AF, kDeviceCoreVersion = 1, kTcp = 6;
constexpr uint32_t kCall = 0, kReply = 1, kRpcVersion = 2;
constexpr uint32_t kAccepted = 0, kSuccess = 0;
constexpr uint32_t kMaxAuthBytes = 400;

void put(std::string& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) s += char((v >> shift) & 0xFF);
}

// Reads the datagram's four-byte words in turn; once one is missing, every
// later read fails too.
class Words {
  public:
    Words(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool next(uint32_t& v) {
        if (m_at > m_size || m_size - m_at < 4)
            return false;
        const uint8_t* p = m_data + m_at;
        v = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        m_at += 4;
        return true;
    }
    // Skips an opaque of this length, padded to whole words.
    bool skip(uint32_t length) {
        const size_t padded = (size_t(length) + 3) & ~size_t(3);
        if (padded > m_size - m_at)
            return false;
        m_at += padded;
        return true;
    }

  private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

}  // namespace

std::string getPortCall(uint32_t xid) {
    std::string s;
    for (uint32_t v : {xid, kCall, kRpcVersion, kPortmapper, kPortmapperVersion, kGetPort,
                       uint32_t(0), uint32_t(0),  // no credentials
                       uint32_t(0), uint32_t(0),  // no verifier
                       kDeviceCore, kDeviceCoreVersion, kTcp, uint32_t(0)})
        put(s, v);
    return s;
}

PortReply readPortReply(const uint8_t* data, size_t size, uint32_t xid) {
    PortReply r;
    Words w(data, size);
    uint32_t got = 0, direction = 0, status = 0;
    if (!w.next(got) || !w.next(direction) || direction != kReply)
        return r;
    if (got != xid) {
        r.verdict = PortReply::Other;
        return r;
    }
    if (!w.next(status))
        return r;
    if (status != kAccepted) {
        r.verdict = PortReply::Refused;  // denied: a version or credential it will not take
        return r;
    }
    uint32_t flavour = 0, length = 0, accept = 0, port = 0;
    if (!w.next(flavour) || !w.next(length) || length > kMaxAuthBytes || !w.skip(length) ||
        !w.next(accept))
        return r;
    if (accept != kSuccess) {
        r.verdict = PortReply::Refused;
        return r;
    }
    if (!w.next(port) || port > 65535)
        return r;
    r.verdict = port == 0 ? PortReply::NotRegistered : PortReply::Port;
    r.port = int(port);
    return r;
}

}  // namespace boards
