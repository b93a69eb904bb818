#include "emulators/gateway_service.h"

#include <rpc/pmap_prot.h>

namespace emulators {

namespace {

constexpr uint32_t kNullProcedure = 0;

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
        case device_docmd:
            return "device_docmd";
        case destroy_link:
            return "destroy_link";
        default:
            return nullptr;
    }
}

// The results of the null procedures: nothing.
bool_t xdrNothing(XDR*, void*) {
    return TRUE;
}

template <typename F>
xdrproc_t xdr(F* f) {
    return reinterpret_cast<xdrproc_t>(f);
}

// Decodes the arguments, answers what handle makes of them, frees them.
template <typename Args, typename Result, typename Handle>
void answer(RpcCall& call, bool_t (*in)(XDR*, Args*), bool_t (*out)(XDR*, Result*),
            Handle&& handle) {
    Args args{};
    if (call.arguments(in, &args)) {
        Result result{};
        handle(args, result);
        call.reply(xdr(out), &result);
    }
    xdr_free(xdr(in), &args);
}

}  // namespace

bool GatewayService::faulted(RpcCall& call) {
    const bool data = call.procedure == device_write || call.procedure == device_read;
    if (m_fault == GatewayFault::None || !data)
        return false;
    switch (m_fault) {
        case GatewayFault::DropMidRead:
            if (call.procedure != device_read)
                return false;
            call.dropMidReply();
            return true;
        case GatewayFault::ErrorCode: {
            // The same two first fields for both replies: the error, then a
            // count or reason of 0, then (for a read) no data.
            Device_ReadResp r{m_faultError, 0, {0, nullptr}};
            Device_WriteResp w{m_faultError, 0};
            if (call.procedure == device_read)
                call.reply(xdr(xdr_Device_ReadResp), &r);
            else
                call.reply(xdr(xdr_Device_WriteResp), &w);
            return true;
        }
        case GatewayFault::NeverAnswer:
            return true;
        case GatewayFault::None:
            break;
    }
    return false;
}

void GatewayService::serve(RpcCall& call, int connection) {
    if (call.program == DEVICE_ASYNC) {
        serveAbort(call);
    } else if (call.program != DEVICE_CORE) {
        call.refuse(PROG_UNAVAIL);
    } else if (call.version != DEVICE_CORE_VERSION) {
        call.refuse(PROG_MISMATCH, DEVICE_CORE_VERSION, DEVICE_CORE_VERSION);
    } else {
        if (call.procedure < m_calls.size())
            ++m_calls[call.procedure];
        if (!faulted(call))
            serveCore(call, connection);
    }
}

void GatewayService::serveCore(RpcCall& call, int connection) {
    using Generic = Device_GenericParms;
    std::string buffer;
    switch (call.procedure) {
        case kNullProcedure:
            call.reply(xdr(xdrNothing), nullptr);
            break;
        case create_link:
            answer(call, xdr_Create_LinkParms, xdr_Create_LinkResp,
                   [&](auto& p, auto& r) { m_core.createLink(p, connection, m_ports.abort, r); });
            break;
        case device_write:
            answer(call, xdr_Device_WriteParms, xdr_Device_WriteResp,
                   [&](auto& p, auto& r) { m_core.write(p, r); });
            break;
        case device_read:
            answer(call, xdr_Device_ReadParms, xdr_Device_ReadResp,
                   [&](auto& p, auto& r) { m_core.read(p, buffer, r); });
            break;
        case device_readstb:
            answer(call, xdr_Device_GenericParms, xdr_Device_ReadStbResp,
                   [&](auto& p, auto& r) { m_core.readStb(p, r); });
            break;
        case device_trigger:
        case device_clear:
        case device_remote:
        case device_local:
            answer(call, xdr_Device_GenericParms, xdr_Device_Error, [&](Generic& p, auto& r) {
                const uint32_t proc = call.procedure;
                r.error = proc == device_trigger ? m_core.trigger(p)
                          : proc == device_clear ? m_core.clear(p)
                                                 : m_core.remote(p, proc == device_remote);
            });
            break;
        case device_lock:
            answer(call, xdr_Device_LockParms, xdr_Device_Error,
                   [&](auto& p, auto& r) { r.error = m_core.lock(p.lid); });
            break;
        case device_unlock:
            answer(call, xdr_Device_Link, xdr_Device_Error,
                   [&](auto& lid, auto& r) { r.error = m_core.unlock(lid); });
            break;
        case device_docmd:
            answer(call, xdr_Device_DocmdParms, xdr_Device_DocmdResp,
                   [&](auto& p, auto& r) { m_core.docmd(p, buffer, r); });
            break;
        case destroy_link:
            answer(call, xdr_Device_Link, xdr_Device_Error,
                   [&](auto& lid, auto& r) { r.error = m_core.destroyLink(lid); });
            break;
        case device_enable_srq:
        case create_intr_chan:
        case destroy_intr_chan: {
            // No interrupt channel: a client polls for SRQ instead.
            Device_Error r{8};
            call.reply(xdr(xdr_Device_Error), &r);
            break;
        }
        default:
            call.refuse(PROC_UNAVAIL);
    }
}

void GatewayService::serveAbort(RpcCall& call) {
    if (call.version != DEVICE_ASYNC_VERSION) {
        call.refuse(PROG_MISMATCH, DEVICE_ASYNC_VERSION, DEVICE_ASYNC_VERSION);
    } else if (call.procedure == kNullProcedure) {
        call.reply(xdr(xdrNothing), nullptr);
    } else if (call.procedure == device_abort) {
        ++m_aborts;
        answer(call, xdr_Device_Link, xdr_Device_Error,
               [&](auto& lid, auto& r) { r.error = m_core.abort(lid); });
    } else {
        call.refuse(PROC_UNAVAIL);
    }
}

void GatewayService::servePortmapper(RpcCall& call) {
    if (call.program != PMAPPROG) {
        call.refuse(PROG_UNAVAIL);
    } else if (call.version != PMAPVERS) {
        call.refuse(PROG_MISMATCH, PMAPVERS, PMAPVERS);
    } else if (call.procedure == PMAPPROC_NULL) {
        call.reply(xdr(xdrNothing), nullptr);
    } else if (call.procedure == PMAPPROC_GETPORT) {
        ++m_portLookups;
        pmap wanted{};
        if (call.arguments(xdr_pmap, &wanted)) {
            u_long port = 0;
            if (wanted.pm_prot == IPPROTO_TCP && wanted.pm_prog == DEVICE_CORE &&
                wanted.pm_vers == DEVICE_CORE_VERSION)
                port = m_ports.core;
            if (wanted.pm_prot == IPPROTO_TCP && wanted.pm_prog == DEVICE_ASYNC &&
                wanted.pm_vers == DEVICE_ASYNC_VERSION)
                port = m_ports.abort;
            call.reply(xdr(xdr_u_long), &port);
        }
    } else {
        call.refuse(PROC_UNAVAIL);
    }
}

std::string GatewayService::counts() const {
    std::string text = "portmapper GETPORT " + std::to_string(m_portLookups.load());
    for (size_t p = 0; p < m_calls.size(); ++p)
        if (const char* name = procedureName(p); name && m_calls[p])
            text += std::string(", ") + name + " " + std::to_string(m_calls[p].load());
    if (m_aborts)
        text += ", device_abort " + std::to_string(m_aborts.load());
    return text;
}

}  // namespace emulators
