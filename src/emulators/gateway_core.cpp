#include "emulators/gateway_core.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace emulators {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

namespace {

enum Error {
    kDeviceNotAccessible = 3,
    kInvalidLink = 4,
    kParameterError = 5,
    kNotSupported = 8,
    kNoLockHeld = 12,
    kIoTimeout = 15,
    kIoError = 17,
    kInvalidAddress = 21,
    kAborted = 23,
};
constexpr int kFlagEnd = 8, kFlagTermChar = 0x80;
constexpr int kReasonRequestCount = 1, kReasonChar = 2, kReasonEnd = 4;
constexpr unsigned kReadChunk = 256 * 1024;  // a longer request gets this much per call

// What the board's answer is on a gateway.
int errorOf(int iberr) {
    switch (iberr) {
        case kDone:
            return 0;
        case GPIB_ENOL:
            return kDeviceNotAccessible;
        case GPIB_EABO:
            return kIoTimeout;
        case GPIB_ECAP:
            return kNotSupported;
        case GPIB_EARG:
            return kParameterError;
        default:
            return kIoError;
    }
}

// The smallest of the driver's timeouts that is not shorter than ms.
gpibdrv::Timeout timeoutOf(unsigned ms) {
    for (int code = 1; code < 17; ++code)
        if (gpibdrv::timeoutUs(code) >= int64_t(ms) * 1000)
            return {code};
    return {17};
}

// "gpib0", "gpib0,9", "gpib0,9,2": false when the name is not one of these.
bool parseNumber(const std::string& text, int& value) {
    if (text.empty() || text.size() > 2 || !std::all_of(text.begin(), text.end(), ::isdigit))
        return false;
    value = std::stoi(text);
    return value <= 30;
}

}  // namespace

GatewayCore::GatewayCore(ServedBench bench, GatewaySettings settings)
    : m_bench(std::move(bench)), m_settings(std::move(settings)) {
    for (const auto& board : m_bench.bus->definition().boards)
        if (board.index == m_settings.boardIndex)
            m_ownPad = board.pad;
}

sim::Instrument* GatewayCore::instrumentAt(const BusAddress& a) {
    sim::Instrument* inst = m_bench.bus->instrumentAt({m_settings.boardIndex, a.pad, a.sad});
    return inst && inst->listens() ? inst : nullptr;
}

GatewayCore::Link* GatewayCore::find(Device_Link lid, bool wantDevice, int& error) {
    auto it = m_links.find(lid);
    if (it == m_links.end()) {
        error = kInvalidLink;
        return nullptr;
    }
    if (wantDevice && it->second.interface) {
        error = kNotSupported;  // data goes to devices; the interface takes docmd
        return nullptr;
    }
    error = 0;
    return &it->second;
}

void GatewayCore::createLink(const Create_LinkParms& p, int connection, unsigned short abortPort,
                             Create_LinkResp& r) {
    std::string name = p.device ? p.device : "";
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    std::string prefix = m_settings.interfaceName;
    std::transform(prefix.begin(), prefix.end(), prefix.begin(), ::tolower);
    Link link;
    link.connection = connection;
    r = Create_LinkResp{0, 0, abortPort, m_settings.maxRecvSize};
    if (name == "inst0" && m_settings.inst0) {
        link.address = *m_settings.inst0;
    } else if (name == prefix) {
        link.interface = true;
    } else if (name.rfind(prefix + ",", 0) == 0) {
        std::string rest = name.substr(prefix.size() + 1);
        size_t comma = rest.find(',');
        int pad = 0, sad = -1;
        if (!parseNumber(rest.substr(0, comma), pad) ||
            (comma != std::string::npos && !parseNumber(rest.substr(comma + 1), sad))) {
            r.error = kInvalidAddress;
            return;
        }
        link.address = {pad, sad};
    } else {
        r.error = kDeviceNotAccessible;  // another interface, or no name of ours
        return;
    }
    std::lock_guard<std::mutex> hold(m_lock);
    link.locked = p.lockDevice;
    r.lid = m_nextLid++;
    m_links[r.lid] = link;
}

int GatewayCore::destroyLink(Device_Link lid) {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_links.erase(lid) ? 0 : kInvalidLink;
}

void GatewayCore::connectionClosed(int connection) {
    std::lock_guard<std::mutex> hold(m_lock);
    std::erase_if(m_links,
                  [&](const auto& entry) { return entry.second.connection == connection; });
}

void GatewayCore::write(const Device_WriteParms& p, Device_WriteResp& r) {
    std::lock_guard<std::mutex> hold(m_lock);
    r = Device_WriteResp{};
    Link* link = find(p.lid, true, r.error);
    if (!link)
        return;
    long sent = 0;
    const char* data = p.data.data_val ? p.data.data_val : "";
    int err = m_bench.board->send(
        link->address, data, long(p.data.data_len),
        p.flags & kFlagEnd ? gpibdrv::EndMode::EoiOnLast : gpibdrv::EndMode::None,
        timeoutOf(p.io_timeout), sent);
    r.error = errorOf(err);
    r.size = u_int(sent);
    m_listeners.assign(1, link->address);
    m_talker = -1;
    m_wake.notify_all();  // a query may have given a waiting read its answer
}

int GatewayCore::waitForOutput(std::unique_lock<std::mutex>& hold, Link& link, unsigned ioMs) {
    // Nothing to say yet: the read waits out its timeout here, where an abort
    // or an answer from another link's query can end the wait.
    link.busy = true;
    m_wake.wait_for(hold, std::chrono::milliseconds(ioMs), [&] {
        sim::Instrument* inst = instrumentAt(link.address);
        return link.aborted || m_stopping || (inst && inst->hasOutput());
    });
    link.busy = false;
    if (link.aborted || m_stopping) {
        link.aborted = false;
        return kAborted;
    }
    return 0;
}

void GatewayCore::read(const Device_ReadParms& p, std::string& data, Device_ReadResp& r) {
    std::unique_lock<std::mutex> hold(m_lock);
    r = Device_ReadResp{};
    Link* link = find(p.lid, true, r.error);
    if (!link)
        return;
    const BusAddress from = link->address;
    sim::Instrument* inst = instrumentAt(from);
    gpibdrv::Timeout timeout = timeoutOf(p.io_timeout);
    if (inst && !inst->hasOutput() && !m_bench.bus->clock().instant()) {
        if ((r.error = waitForOutput(hold, *link, p.io_timeout)) != 0)
            return;
        timeout = {1};  // the timeout is spent already
    }
    const bool termChar = (p.flags & kFlagTermChar) != 0;
    const char term = p.termChar;
    data.resize(std::min(p.requestSize, kReadChunk));
    long got = 0;
    int ended = 0;
    int err = m_bench.board->receive(from, data.data(), long(data.size()),
                                     termChar ? int(uint8_t(term)) : -1, timeout, got, ended);
    data.resize(size_t(got));
    r.error = errorOf(err);
    if (ended & gpibdrv::kEndChar)
        r.reason |= kReasonChar;
    if (ended & gpibdrv::kEndEoi)
        r.reason |= kReasonEnd;
    if (u_int(got) == p.requestSize)
        r.reason |= kReasonRequestCount;
    r.data.data_len = u_int(got);
    r.data.data_val = data.data();
    m_listeners.clear();
    m_talker = from.pad;
}

void GatewayCore::readStb(const Device_GenericParms& p, Device_ReadStbResp& r) {
    std::lock_guard<std::mutex> hold(m_lock);
    r = Device_ReadStbResp{};
    Link* link = find(p.lid, true, r.error);
    if (!link)
        return;
    uint8_t status = 0;
    r.error = errorOf(m_bench.board->serialPoll(link->address, timeoutOf(p.io_timeout), status));
    r.stb = status;
    m_listeners.clear();
}

int GatewayCore::trigger(const Device_GenericParms& p) {
    std::lock_guard<std::mutex> hold(m_lock);
    int error = 0;
    Link* link = find(p.lid, false, error);
    if (!link)
        return error;
    if (link->interface) {
        command(0x08);  // GET to whoever listens
        return 0;
    }
    error = errorOf(m_bench.board->trigger(&link->address));
    m_listeners.assign(1, link->address);
    m_wake.notify_all();
    return error;
}

int GatewayCore::clear(const Device_GenericParms& p) {
    std::lock_guard<std::mutex> hold(m_lock);
    int error = 0;
    Link* link = find(p.lid, false, error);
    if (!link)
        return error;
    if (link->interface)
        return errorOf(m_bench.board->clear(nullptr));  // DCL
    m_listeners.assign(1, link->address);
    return errorOf(m_bench.board->clear(&link->address));
}

int GatewayCore::remote(const Device_GenericParms& p, bool on) {
    std::lock_guard<std::mutex> hold(m_lock);
    int error = 0;
    Link* link = find(p.lid, false, error);
    if (!link)
        return error;
    // Remote raises REN; local on the interface drops it, local on a device
    // sends it GTL.
    if (on || link->interface) {
        m_ren = on;
        m_bench.board->remoteEnable(on);
    }
    if (!link->interface) {
        sim::Instrument* inst = instrumentAt(link->address);
        if (!inst)
            return kDeviceNotAccessible;
        inst->setRemote(on);
    }
    return 0;
}

int GatewayCore::lock(Device_Link lid) {
    std::lock_guard<std::mutex> hold(m_lock);
    int error = 0;
    if (Link* link = find(lid, false, error))
        link->locked = true;
    return error;
}

int GatewayCore::unlock(Device_Link lid) {
    std::lock_guard<std::mutex> hold(m_lock);
    int error = 0;
    Link* link = find(lid, false, error);
    if (!link)
        return error;
    if (!link->locked)
        return kNoLockHeld;
    link->locked = false;
    return 0;
}

int GatewayCore::abort(Device_Link lid) {
    std::lock_guard<std::mutex> hold(m_lock);
    int error = 0;
    Link* link = find(lid, false, error);
    if (link && link->busy) {
        link->aborted = true;
        m_wake.notify_all();
    }
    return error;
}

void GatewayCore::stop() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_stopping = true;
    m_wake.notify_all();
}

}  // namespace emulators
