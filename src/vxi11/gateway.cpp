#include "vxi11/gateway.h"

#include <unistd.h>

#include <algorithm>

#include "vxi11/error_table.h"
#include "vxi11/read_reply.h"
#include "vxi11/vxi11_rpc.h"

namespace vxi11 {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

namespace {

// A gateway answers its own timeout with error 15 shortly after it; the
// reply may take this much longer before the call counts as unanswered.
constexpr auto kReplyMargin = std::chrono::milliseconds(1000);
// "No timeout" still ends: a forgotten read cannot hang the window for good.
constexpr int64_t kNoTimeoutLimitUs = 30'000'000;
// Bus commands, listener checks, trigger and clear carry no timeout of
// their own; a gateway that is there answers them within milliseconds.
constexpr int64_t kControlTimeoutUs = 3'000'000;
// Connecting never takes longer than this, even in an operation with a
// longer timeout.
constexpr auto kConnectLimit = std::chrono::seconds(3);
// What a gateway that names no largest write is sent at a time.
constexpr unsigned kDefaultRecvSize = 1024;

template <typename F>
xdrproc_t xdr(F* f) {
    return reinterpret_cast<xdrproc_t>(f);
}

std::string linkName(const std::string& interfaceName, const BusAddress* a) {
    if (!a)
        return interfaceName;
    std::string name = interfaceName + "," + std::to_string(a->pad);
    return a->sad < 0 ? name : name + "," + std::to_string(a->sad);
}

}  // namespace

std::unique_ptr<gpibdrv::Board> makeGatewayBoard(const GatewayOptions& options) {
    return std::make_unique<Gateway>(options);
}

Gateway::Gateway(GatewayOptions options)
    : m_options(std::move(options)), m_clientId(int(getpid() & 0x7FFFFFFF)) {}

unsigned Gateway::Budget::ioMs() const {
    // The caller's time goes to the gateway as it is, to the millisecond
    // above what is left: io_timeout 0 (try once, wait for nothing) only
    // once nothing is left.
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(ioEnd - Clock::now()).count();
    return unsigned(std::max<int64_t>(ms, 0));
}

Gateway::Budget Gateway::budget(gpibdrv::Timeout t) {
    int64_t us = t.limitUs(kNoTimeoutLimitUs);
    Clock::time_point ioEnd = Clock::now() + std::chrono::microseconds(us);
    return {ioEnd, ioEnd + kReplyMargin};
}

Gateway::Budget Gateway::controlBudget() {
    Clock::time_point ioEnd = Clock::now() + std::chrono::microseconds(kControlTimeoutUs);
    return {ioEnd, ioEnd + kReplyMargin};
}

std::string Gateway::describe() const {
    return "VXI-11 gateway " + m_options.host + ", interface " + m_options.interfaceName + ", " +
           m_state;
}

int Gateway::open(std::string& reason) {
    const Budget b = controlBudget();
    int err = onLink(nullptr, b, [](const Link&) { return 0; });
    if (err != kDone) {
        reason = describe();
        return GPIB_ENEB;
    }
    return kDone;
}

int Gateway::statusBits() {
    return GPIB_CIC | (m_atn ? GPIB_ATN : 0) | (m_talker ? GPIB_TACS : 0) |
           (m_listener ? GPIB_LACS : 0);
}

void Gateway::closeConnection(const std::string& state) {
    m_rpc.close();
    m_links.clear();
    m_state = state;
}

int Gateway::connect(const Budget& b) {
    if (m_rpc.connected() && m_rpc.peerOpen())
        return kDone;
    if (m_rpc.connected())
        closeConnection("the gateway closed the connection");
    const Clock::time_point deadline = std::min(b.replyEnd, Clock::now() + kConnectLimit);
    std::string why;
    int port = m_options.corePort;
    if (port == 0) {
        port = lookUpPort(m_options.host, m_options.portmapperPort, DEVICE_CORE,
                          DEVICE_CORE_VERSION, deadline, why);
        if (port <= 0) {
            m_state = port == 0 ? "its portmapper knows no VXI-11 core channel" : why;
            return GPIB_ENEB;
        }
    }
    if (!m_rpc.connect(m_options.host, port, DEVICE_CORE, DEVICE_CORE_VERSION, deadline, why)) {
        m_state = "no connection to port " + std::to_string(port) + ": " + why;
        return GPIB_ENEB;
    }
    m_connected = m_state = "connected to core port " + std::to_string(port);
    m_lastAnswerFailed = false;
    return kDone;
}

int Gateway::remote(uint32_t procedure, xdrproc_t in, const void* args, xdrproc_t out, void* result,
                    const Budget& b) {
    std::string why;
    switch (m_rpc.call(procedure, in, args, out, result, b.replyEnd, why)) {
        case CallOutcome::Done:
            return 0;
        case CallOutcome::NoAnswer:
            closeConnection("no answer within the timeout (" + why +
                            "); the next call connects again");
            return kNoAnswer;
        case CallOutcome::Lost:
            break;
    }
    closeConnection("connection lost (" + why + "); the next call connects again");
    return kConnectionLost;
}

int Gateway::linkFor(const BusAddress* device, const Budget& b, const Link*& link) {
    const int key = device ? device->pad * 32 + device->sad + 1 : -1;
    if (auto it = m_links.find(key); it != m_links.end()) {
        link = &it->second;
        return 0;
    }
    std::string name = linkName(m_options.interfaceName, device);
    Create_LinkParms parms{m_clientId, FALSE, 0, name.data()};
    Create_LinkResp reply{};
    int code =
        remote(create_link, xdr(xdr_Create_LinkParms), &parms, xdr(xdr_Create_LinkResp), &reply, b);
    if (code == 0 && reply.error == 0) {
        unsigned size = reply.maxRecvSize ? reply.maxRecvSize : kDefaultRecvSize;
        link = &(m_links[key] = Link{reply.lid, size});
    }
    return code ? code : reply.error;
}

int Gateway::onLink(const BusAddress* device, const Budget& b, const Rpc& rpc) {
    for (int attempt = 0;; ++attempt) {
        if (int err = connect(b); err != kDone)
            return err;
        const Link* link = nullptr;
        int code = linkFor(device, b, link);
        if (code == 0)
            code = rpc(*link);
        if (code == 0) {
            if (m_lastAnswerFailed)
                m_state = m_connected, m_lastAnswerFailed = false;
            return kDone;
        }
        const ErrorRow& row = errorRow(code);
        if (code > 0) {
            m_state = m_connected + "; its last answer: " + std::string(row.meaning) + " (error " +
                      std::to_string(code) + ")";
            m_lastAnswerFailed = true;
        }
        if (!row.relink || attempt > 0)
            return row.iberr;
        // The gateway forgot the link (a restart, an idle link dropped):
        // link again once, on a fresh connection when the channel is gone.
        if (code == kChannelNotEstablished)
            closeConnection("the gateway lost the channel");
        m_links.clear();
    }
}

int Gateway::send(BusAddress to, const char* data, long count, gpibdrv::EndMode end,
                  gpibdrv::Timeout t, long& sent) {
    const char* bytes = data;
    size_t size = size_t(count);
    if (end == gpibdrv::EndMode::AppendLf) {
        m_scratch.assign(data, size);
        m_scratch += '\n';
        bytes = m_scratch.data();
        size = m_scratch.size();
    }
    const Budget b = budget(t);
    size_t done = 0;
    int err = kDone;
    do {
        // A message longer than the gateway takes in one call goes in pieces,
        // END with the last one.
        err = onLink(&to, b, [&](const Link& link) {
            const size_t chunk = std::min<size_t>(size - done, link.maxRecvSize);
            const bool last = done + chunk == size;
            const int flags = last && chunk > 0 && end != gpibdrv::EndMode::None ? kFlagEnd : 0;
            Device_WriteParms parms{
                link.lid, b.ioMs(), 0, flags, {u_int(chunk), const_cast<char*>(bytes + done)}};
            Device_WriteResp reply{};
            int code = remote(device_write, xdr(xdr_Device_WriteParms), &parms,
                              xdr(xdr_Device_WriteResp), &reply, b);
            if (code)
                return code;
            done += std::min<size_t>(reply.size, chunk);
            return reply.error;
        });
    } while (err == kDone && done < size);
    sent = long(std::min(done, size_t(count)));
    m_atn = m_listener = false;
    m_talker = true;
    return err;
}

int Gateway::receive(BusAddress from, char* dst, long count, int eos, gpibdrv::Timeout t, long& got,
                     int& ended) {
    const Budget b = budget(t);
    got = 0;
    ended = 0;
    m_atn = m_talker = false;
    m_listener = true;
    if (count == 0)
        return onLink(&from, b, [](const Link&) { return 0; });
    int reason = 0;
    while (got < count && (reason & (kReasonRequestCount | kReasonChar | kReasonEnd)) == 0) {
        int err = onLink(&from, b, [&](const Link& link) {
            Device_ReadParms parms{
                link.lid, u_int(count - got),           b.ioMs(),
                0,        eos >= 0 ? kFlagTermChar : 0, char(eos >= 0 ? eos : 0)};
            ReadReply reply{0, 0, dst + got, 0, u_int(count - got)};
            int code = remote(device_read, xdr(xdr_Device_ReadParms), &parms, xdr(xdrReadReply),
                              &reply, b);
            if (code)
                return code;
            got += long(reply.length);  // a timeout keeps what came before it
            reason = reply.reason;
            return reply.error;
        });
        if (err != kDone)
            return err;
    }
    // The gateway's reasons are the board's, bit for bit.
    ended = reason & (gpibdrv::kEndCount | gpibdrv::kEndChar | gpibdrv::kEndEoi);
    if (got == count)
        ended |= gpibdrv::kEndCount;
    return kDone;
}

int Gateway::serialPoll(BusAddress device, gpibdrv::Timeout t, uint8_t& status) {
    const Budget b = budget(t);
    tookControl();
    return onLink(&device, b, [&](const Link& link) {
        Device_GenericParms parms{link.lid, 0, 0, b.ioMs()};
        Device_ReadStbResp reply{};
        int code = remote(device_readstb, xdr(xdr_Device_GenericParms), &parms,
                          xdr(xdr_Device_ReadStbResp), &reply, b);
        status = reply.stb;
        return code ? code : reply.error;
    });
}

}  // namespace vxi11
