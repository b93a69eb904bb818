#include "gateway/gateway_service.h"

#include <cstdio>
#include <memory>

#include "gateway/vxi11_args.h"
#include "gateway/xdr.h"
#include "vxi11/vxi11_codes.h"
#include "vxi11/vxi11_rpc.h"

namespace gateway {

namespace {

constexpr uint32_t kSuccess = 0, kProgUnavail = 1, kProcUnavail = 3, kGarbageArgs = 4;
constexpr uint32_t kNullProcedure = 0;
constexpr uint32_t kPortmapper = 100000, kPortmapperVersion = 2, kGetPort = 3, kDump = 4;
constexpr uint32_t kTcp = 6, kUdp = 17;

const char* procedureName(size_t p) {
    switch (p) {
        case create_link:
            return "create_link";
        case device_write:
            return "device_write";
        case device_read:
            return "device_read";
        case device_readstb:
            return "device_readstb";
        case device_trigger:
            return "device_trigger";
        case device_clear:
            return "device_clear";
        case device_remote:
            return "device_remote";
        case device_local:
            return "device_local";
        case device_lock:
            return "device_lock";
        case device_unlock:
            return "device_unlock";
        case device_enable_srq:
            return "device_enable_srq";
        case device_docmd:
            return "device_docmd";
        case destroy_link:
            return "destroy_link";
        case create_intr_chan:
            return "create_intr_chan";
        case destroy_intr_chan:
            return "destroy_intr_chan";
        default:
            return nullptr;
    }
}

// A reply of Device_Error alone.
void errorReply(std::string& out, uint32_t xid, int error) {
    beginReply(out, xid, kSuccess);
    XdrWriter(out).i32(error);
    finishReply(out);
}

}  // namespace

void GatewayService::serve(const Client& c, std::string_view record, bool truncated,
                           std::string& reply, Outcome& outcome) {
    reply.clear();
    const ParsedCall call = parseCall(record);
    switch (call.verdict) {
        case ParsedCall::Verdict::Close:
            outcome.close = true;
            outcome.why = call.why;
            return;
        case ParsedCall::Verdict::RpcMismatch:
            outcome.why = call.why;
            rpcMismatchReply(reply, call.header.xid);
            return;
        case ParsedCall::Verdict::AuthError:
            outcome.why = call.why;
            authErrorReply(reply, call.header.xid, call.authStat);
            return;
        case ParsedCall::Verdict::Call:
            break;
    }
    const CallHeader& h = call.header;
    XdrReader args(call.args);
    if (h.program == DEVICE_ASYNC && !truncated) {
        if (h.version != DEVICE_ASYNC_VERSION)
            progMismatchReply(reply, h.xid, DEVICE_ASYNC_VERSION, DEVICE_ASYNC_VERSION);
        else
            serveAbort(c, h, args, reply);
    } else if (h.program != DEVICE_CORE && h.program != DEVICE_ASYNC) {
        acceptedReply(reply, h.xid, kProgUnavail);
    } else if (h.version != DEVICE_CORE_VERSION) {
        progMismatchReply(reply, h.xid, DEVICE_CORE_VERSION, DEVICE_CORE_VERSION);
    } else if (truncated) {
        // Longer than anything this server keeps: only a write can be that
        // long honestly, and it is refused without being taken.
        uint32_t length = 0;
        if (h.program == DEVICE_CORE && h.procedure == device_write &&
            claimedWriteLength(args, length) && length > m_maxRecvSize) {
            ++m_calls[device_write];
            beginReply(reply, h.xid, kSuccess);
            XdrWriter w(reply);
            w.i32(vxi11::kParameterError);
            w.u32(0);
            finishReply(reply);
        } else {
            acceptedReply(reply, h.xid, kGarbageArgs);
        }
        outcome.why = "a record longer than this server keeps";
    } else {
        if (h.procedure < m_calls.size())
            ++m_calls[h.procedure];
        if (!faulted(h, reply, outcome))
            serveCore(c, h, args, reply, outcome);
    }
}

bool GatewayService::faulted(const CallHeader& h, std::string& reply, Outcome& outcome) {
    const bool data = h.procedure == device_write || h.procedure == device_read;
    if (m_fault == Fault::None || !data)
        return false;
    switch (m_fault) {
        case Fault::DropMidRead:
            if (h.procedure != device_read)
                return false;
            // A record mark promising 64 bytes, then the transaction id,
            // then nothing: the client is left in the middle of a reply.
            beginReply(reply, h.xid, kSuccess);
            reply[0] = char(0x80);
            reply[1] = reply[2] = 0;
            reply[3] = 64;
            outcome.sendOnly = 8;
            return true;
        case Fault::ErrorCode: {
            // The same two first fields for both replies: the error, then a
            // count or reason of 0, then (for a read) no data.
            beginReply(reply, h.xid, kSuccess);
            XdrWriter w(reply);
            w.i32(m_faultError);
            w.u32(0);
            if (h.procedure == device_read)
                w.u32(0);
            finishReply(reply);
            return true;
        }
        case Fault::NeverAnswer:
            return true;
        case Fault::None:
            break;
    }
    return false;
}

void GatewayService::serveCore(const Client& c, const CallHeader& h, XdrReader& args,
                               std::string& reply, Outcome& outcome) {
    (void)outcome;
    // Decodes the arguments, or answers GARBAGE_ARGS.
    auto decoded = [&](auto& a) {
        if (decode(args, a))
            return true;
        acceptedReply(reply, h.xid, kGarbageArgs);
        return false;
    };
    switch (h.procedure) {
        case kNullProcedure:
            acceptedReply(reply, h.xid, kSuccess);
            return;
        case create_link: {
            CreateLinkArgs a;
            if (!decoded(a))
                return;
            LinkReply r = m_core.createLink(c, a);
            beginReply(reply, h.xid, kSuccess);
            XdrWriter w(reply);
            w.i32(r.error);
            w.i32(r.lid);
            w.u32(m_ports.abort);
            w.u32(r.maxRecvSize);
            finishReply(reply);
            return;
        }
        case device_write: {
            WriteArgs a;
            if (!decoded(a))
                return;
            uint32_t size = 0;
            int error = m_core.write(c, a, size);
            beginReply(reply, h.xid, kSuccess);
            XdrWriter w(reply);
            w.i32(error);
            w.u32(size);
            finishReply(reply);
            return;
        }
        case device_read: {
            ReadArgs a;
            if (!decoded(a))
                return;
            // Read into a buffer of the connection's thread, made once:
            // clients ask for far more than an answer has, and a reply sized
            // for the request would be filled with zeros on every call.
            thread_local std::unique_ptr<char[]> buffer(new char[GatewayCore::kMaxReadChunk]);
            uint32_t got = 0;
            int reason = 0;
            const int error = m_core.read(c, a, buffer.get(), got, reason);
            beginReply(reply, h.xid, kSuccess);
            XdrWriter w(reply);
            w.i32(error);
            w.i32(reason);
            w.opaque(std::string_view(buffer.get(), got));
            finishReply(reply);
            return;
        }
        case device_readstb: {
            GenericArgs a;
            if (!decoded(a))
                return;
            uint8_t stb = 0;
            int error = m_core.readStb(c, a, stb);
            beginReply(reply, h.xid, kSuccess);
            XdrWriter w(reply);
            w.i32(error);
            w.u32(stb);
            finishReply(reply);
            return;
        }
        case device_trigger:
        case device_clear:
        case device_remote:
        case device_local: {
            GenericArgs a;
            if (!decoded(a))
                return;
            const int error = h.procedure == device_trigger  ? m_core.trigger(c, a)
                              : h.procedure == device_clear  ? m_core.clear(c, a)
                              : h.procedure == device_remote ? m_core.remote(c, a)
                                                             : m_core.local(c, a);
            errorReply(reply, h.xid, error);
            return;
        }
        case device_lock: {
            LockArgs a;
            if (decoded(a))
                errorReply(reply, h.xid, m_core.lock(c, a));
            return;
        }
        case device_unlock:
        case destroy_link: {
            int32_t lid = 0;
            if (decoded(lid))
                errorReply(reply, h.xid,
                           h.procedure == device_unlock ? m_core.unlock(c, lid)
                                                        : m_core.destroyLink(c, lid));
            return;
        }
        case device_enable_srq: {
            EnableSrqArgs a;
            if (decoded(a))
                errorReply(reply, h.xid, m_core.enableSrq(c, a));
            return;
        }
        case device_docmd: {
            DocmdArgs a;
            if (!decoded(a))
                return;
            std::string out;
            int error = m_core.docmd(c, a, out);
            beginReply(reply, h.xid, kSuccess);
            XdrWriter w(reply);
            w.i32(error);
            w.opaque(out);
            finishReply(reply);
            return;
        }
        case create_intr_chan: {
            RemoteFuncArgs a;
            if (decoded(a))
                errorReply(reply, h.xid, m_core.createIntrChannel(c, a));
            return;
        }
        case destroy_intr_chan:
            errorReply(reply, h.xid, m_core.destroyIntrChannel(c));
            return;
        default:
            acceptedReply(reply, h.xid, kProcUnavail);
    }
}

void GatewayService::serveAbort(const Client& c, const CallHeader& h, XdrReader& args,
                                std::string& reply) {
    if (h.procedure == kNullProcedure) {
        acceptedReply(reply, h.xid, kSuccess);
    } else if (h.procedure == device_abort) {
        ++m_aborts;
        int32_t lid = 0;
        if (decode(args, lid))
            errorReply(reply, h.xid, m_core.abort(c, lid));
        else
            acceptedReply(reply, h.xid, kGarbageArgs);
    } else {
        acceptedReply(reply, h.xid, kProcUnavail);
    }
}

void GatewayService::servePortmapper(std::string_view record, std::string& reply,
                                     Outcome& outcome) {
    reply.clear();
    const ParsedCall call = parseCall(record);
    if (call.verdict == ParsedCall::Verdict::Close) {
        outcome.close = true;
        outcome.why = call.why;
        return;
    }
    if (call.verdict != ParsedCall::Verdict::Call) {
        outcome.why = call.why;
        if (call.verdict == ParsedCall::Verdict::RpcMismatch)
            rpcMismatchReply(reply, call.header.xid);
        else
            authErrorReply(reply, call.header.xid, call.authStat);
        return;
    }
    const CallHeader& h = call.header;
    XdrReader args(call.args);
    if (h.program != kPortmapper) {
        acceptedReply(reply, h.xid, kProgUnavail);
    } else if (h.version != kPortmapperVersion) {
        progMismatchReply(reply, h.xid, kPortmapperVersion, kPortmapperVersion);
    } else if (h.procedure == kNullProcedure) {
        acceptedReply(reply, h.xid, kSuccess);
    } else if (h.procedure == kGetPort) {
        ++m_portLookups;
        Mapping wanted;
        if (!decode(args, wanted)) {
            acceptedReply(reply, h.xid, kGarbageArgs);
            return;
        }
        uint32_t port = 0;
        for (const Mapping& m : mappings())
            if (m.program == wanted.program && m.version == wanted.version &&
                m.protocol == wanted.protocol)
                port = m.port;
        beginReply(reply, h.xid, kSuccess);
        XdrWriter(reply).u32(port);
        finishReply(reply);
    } else if (h.procedure == kDump) {
        ++m_dumps;
        // The list as XDR writes an optional chain: each entry after a
        // true, the end a false.
        beginReply(reply, h.xid, kSuccess);
        XdrWriter w(reply);
        for (const Mapping& m : mappings())
            for (uint32_t word : {1u, m.program, m.version, m.protocol, m.port}) w.u32(word);
        w.u32(0);
        finishReply(reply);
    } else {
        acceptedReply(reply, h.xid, kProcUnavail);
    }
}

std::vector<Mapping> GatewayService::mappings() const {
    std::vector<Mapping> list;
    if (m_ports.portmapperTcp)
        list.push_back({kPortmapper, kPortmapperVersion, kTcp, m_ports.portmapperTcp});
    if (m_ports.portmapperUdp)
        list.push_back({kPortmapper, kPortmapperVersion, kUdp, m_ports.portmapperUdp});
    list.push_back({DEVICE_CORE, DEVICE_CORE_VERSION, kTcp, m_ports.core});
    list.push_back({DEVICE_ASYNC, DEVICE_ASYNC_VERSION, kTcp, m_ports.abort});
    return list;
}

std::vector<std::pair<std::string, unsigned long>> GatewayService::callCounts() const {
    std::vector<std::pair<std::string, unsigned long>> all;
    if (m_portLookups)
        all.emplace_back("portmapper GETPORT", m_portLookups.load());
    for (size_t p = 0; p < m_calls.size(); ++p)
        if (const char* name = procedureName(p); name && m_calls[p])
            all.emplace_back(name, m_calls[p].load());
    if (m_aborts)
        all.emplace_back("device_abort", m_aborts.load());
    return all;
}

std::string GatewayService::counts() const {
    std::string text = "portmapper GETPORT " + std::to_string(m_portLookups.load());
    if (m_dumps)
        text += ", DUMP " + std::to_string(m_dumps.load());
    for (size_t p = 0; p < m_calls.size(); ++p)
        if (const char* name = procedureName(p); name && m_calls[p])
            text += std::string(", ") + name + " " + std::to_string(m_calls[p].load());
    if (m_aborts)
        text += ", device_abort " + std::to_string(m_aborts.load());
    if (m_served > 0) {
        char perCall[64];
        std::snprintf(perCall, sizeof perCall, "; %.1f us per call",
                      double(m_servedUs.load()) / double(m_served.load()));
        text += perCall;
    }
    return text;
}

}  // namespace gateway
