// The emulated gateway's interface link: device_docmd with the bus commands
// of a LAN/GPIB gateway, and the bus state command bytes leave behind.
#include <algorithm>

#include "emulators/gateway_core.h"

namespace emulators {

using gpibdrv::BusAddress;

namespace {

enum Docmd {
    kSendCommand = 0x020000,
    kBusStatus = 0x020001,
    kAtn = 0x020002,
    kRemoteEnable = 0x020003,
    kBusAddress = 0x02000A,
    kInterfaceClear = 0x020010,
};
enum BusStatus { kRen = 1, kSrq, kNdac, kSystemController, kCic, kTalker, kListener, kAddress };
constexpr int kParameterError = 5, kNotSupported = 8;
constexpr size_t kMaxCommandBytes = 128;

}  // namespace

void GatewayCore::command(uint8_t byte) {
    byte &= 0x7F;  // the parity bit is not ours to judge
    const int low = byte & 0x1F;
    if (byte == 0x3F) {  // UNL
        m_listeners.clear();
        m_ownListens = false;
        m_lastPrimary = -1;
    } else if (byte == 0x5F) {  // UNT
        m_talker = -1;
        m_lastPrimary = -1;
    } else if (byte >= 0x20 && byte < 0x3F) {  // LAD
        m_lastPrimary = low;
        if (low == m_ownPad)
            m_ownListens = true;
        else
            m_listeners.push_back({low, -1});
    } else if (byte >= 0x40 && byte < 0x5F) {  // TAD
        m_talker = low;
        m_lastPrimary = -1;
    } else if (byte >= 0x60 && byte < 0x7F) {  // SAD: after a LAD, that primary's secondary
        if (m_lastPrimary >= 0 && m_lastPrimary != m_ownPad)
            m_listeners.push_back({m_lastPrimary, low});
    } else if (byte == 0x08 || byte == 0x04 || byte == 0x01) {  // GET, SDC, GTL to the listeners
        const std::vector<BusAddress> listeners = m_listeners;
        for (BusAddress a : listeners) {
            if (byte == 0x08)
                m_bench.board->trigger(&a);
            else if (byte == 0x04)
                m_bench.board->clear(&a);
            else if (sim::Instrument* inst = instrumentAt(a))
                inst->setRemote(false);
        }
        m_listeners = listeners;  // addressing them again changes nothing on the bus
        m_wake.notify_all();
    } else if (byte == 0x14) {  // DCL
        m_bench.board->clear(nullptr);
    }
}

bool GatewayCore::ndac() {
    // Every device addressed to listen holds NDAC until it has taken a byte.
    m_bench.bus->spend(m_bench.bus->definition().timing.probeUs);
    return std::any_of(m_listeners.begin(), m_listeners.end(),
                       [&](const BusAddress& a) { return instrumentAt(a) != nullptr; });
}

int GatewayCore::busStatus(int which) {
    switch (which) {
        case kRen:
            return m_ren;
        case kSrq: {
            bool srq = false;
            m_bench.board->srqLine(srq);
            return srq;
        }
        case kNdac:
            return ndac();
        case kSystemController:
            return 1;
        case kCic:
            return (m_bench.board->statusBits() & GPIB_CIC) != 0;
        case kTalker:
            return m_talker == m_ownPad;
        case kListener:
            return m_ownListens;
        case kAddress:
            return m_ownPad;
        default:
            return -1;
    }
}

void GatewayCore::docmd(const Device_DocmdParms& p, std::string& out, Device_DocmdResp& r) {
    std::lock_guard<std::mutex> hold(m_lock);
    r = Device_DocmdResp{};
    Link* link = find(p.lid, false, r.error);
    if (!link)
        return;
    if (!link->interface) {
        r.error = kNotSupported;  // bus commands belong to the interface link
        return;
    }
    const auto* in = reinterpret_cast<const uint8_t*>(p.data_in.data_in_val);
    const u_int size = p.data_in.data_in_len;
    // Two-byte arguments in the byte order the client says it uses.
    int argument = 0;
    if (size >= 2)
        argument = p.network_order ? in[0] << 8 | in[1] : in[1] << 8 | in[0];
    auto answer = [&](int v) {
        out = p.network_order ? std::string{char(v >> 8), char(v)}
                              : std::string{char(v), char(v >> 8)};
    };
    out.clear();
    switch (p.cmd) {
        case kSendCommand:
            if (p.datasize != 1 || size > kMaxCommandBytes) {
                r.error = kParameterError;
                break;
            }
            m_bench.bus->spend(m_bench.bus->definition().timing.commandUs);
            for (u_int i = 0; i < size; ++i) command(in[i]);
            out.assign(reinterpret_cast<const char*>(in), size);  // echoed, as sent
            break;
        case kBusStatus:
            if (int v = busStatus(argument); v >= 0)
                answer(v);
            else
                r.error = kParameterError;
            break;
        case kAtn:
            break;  // ATN is the gateway's to drive; asking for it changes nothing here
        case kRemoteEnable:
            m_ren = argument != 0;
            m_bench.board->remoteEnable(m_ren);
            break;
        case kBusAddress:
            if (argument < 0 || argument > 30)
                r.error = kParameterError;
            else
                m_ownPad = argument;
            break;
        case kInterfaceClear:
            m_bench.board->interfaceClear();
            m_listeners.clear();
            m_talker = -1;
            m_ownListens = false;
            break;
        default:
            r.error = kNotSupported;  // pass control and the rest
    }
    r.data_out.data_out_len = u_int(out.size());
    r.data_out.data_out_val = out.data();
}

}  // namespace emulators
