// What a gateway does for the whole bus: bus messages as command bytes with
// ATN, bus status, IFC, REN and the gateway's own address, all through
// device_docmd on the interface link; and the listener check built on them.
#include <algorithm>
#include <array>

#include "vxi11/gateway.h"
#include "vxi11/vxi11_codes.h"
#include "vxi11/vxi11_rpc.h"

namespace vxi11 {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

namespace {

constexpr uint8_t kGet = gpibdrv::cmd::GET, kDcl = gpibdrv::cmd::DCL, kUnl = gpibdrv::cmd::UNL,
                  kLad = 0x20, kSad = 0x60;

std::array<uint8_t, 2> shortOf(int v) {
    return {uint8_t(v >> 8), uint8_t(v)};
}

}  // namespace

int Gateway::docmd(int command, const void* data, unsigned size, int datasize, const Budget& b,
                   int* value) {
    return onLink(nullptr, b, [&](const Link& link) {
        Device_DocmdParms parms{
            link.lid, 0,    b.ioMs(), 0,
            command,  TRUE, datasize, {size, static_cast<char*>(const_cast<void*>(data))}};
        Device_DocmdResp reply{};
        int code = remote(device_docmd, reinterpret_cast<xdrproc_t>(xdr_Device_DocmdParms), &parms,
                          reinterpret_cast<xdrproc_t>(xdr_Device_DocmdResp), &reply, b);
        if (code == 0 && value && reply.data_out.data_out_len >= 2) {
            const auto* out = reinterpret_cast<const uint8_t*>(reply.data_out.data_out_val);
            *value = out[0] << 8 | out[1];
        }
        xdr_free(reinterpret_cast<xdrproc_t>(xdr_Device_DocmdResp), &reply);
        return code ? code : reply.error;
    });
}

int Gateway::commandBytes(std::span<const uint8_t> bytes, const Budget& b) {
    tookControl();
    return docmd(kDocmdSendCommand, bytes.data(), unsigned(bytes.size()), 1, b);
}

int Gateway::busStatus(int which, const Budget& b, int& value) {
    auto request = shortOf(which);
    return docmd(kDocmdBusStatus, request.data(), 2, 2, b, &value);
}

int Gateway::probe(std::span<const uint8_t> bytes, bool& ndac) {
    const Budget b = controlBudget();
    int line = 0;
    int err = commandBytes(bytes, b);
    if (err == kDone)
        err = busStatus(kStatusNdac, b, line);
    ndac = line != 0;
    return err;
}

int Gateway::listens(BusAddress device, bool& listening) {
    std::array<uint8_t, 3> bytes{kUnl, uint8_t(kLad + device.pad), uint8_t(kSad + device.sad)};
    int err = probe(std::span(bytes).first(device.sad < 0 ? 2 : 3), listening);
    const uint8_t unlisten[] = {kUnl};
    return err == kDone ? commandBytes(unlisten, controlBudget()) : err;
}

int Gateway::findListeners(std::span<const int> pads, size_t stopAfter,
                           std::vector<BusAddress>& found) {
    // One check covers a whole primary address: its listen address followed
    // by all 31 secondaries addresses whatever listens there, so a primary
    // with nobody behind it costs one NDAC reading instead of 32.
    std::array<uint8_t, 33> all{kUnl};
    for (int s = 0; s <= 30; ++s) all[size_t(s) + 2] = uint8_t(kSad + s);
    int err = kDone;
    for (int pad : pads) {
        all[1] = uint8_t(kLad + pad);
        bool any = false, alone = false;
        if ((err = probe(all, any)) != kDone)
            break;
        if (!any)
            continue;
        if ((err = probe(std::span(all).first(2), alone)) != kDone)
            break;
        if (alone) {
            found.push_back({pad, -1});
        } else {
            for (int s = 0; s <= 30 && found.size() <= stopAfter; ++s) {
                const uint8_t one[] = {kUnl, uint8_t(kLad + pad), uint8_t(kSad + s)};
                bool yes = false;
                if ((err = probe(one, yes)) != kDone)
                    break;
                if (yes)
                    found.push_back({pad, s});
            }
        }
        if (err != kDone || found.size() > stopAfter)
            break;
    }
    if (err != kDone)
        return err;
    const uint8_t unlisten[] = {kUnl};
    return commandBytes(unlisten, controlBudget());
}

int Gateway::trigger(const BusAddress* device) {
    const Budget b = controlBudget();
    if (!device) {
        // GET to whoever listens already: the bus message itself, with no
        // addressing in front of it.
        const uint8_t get[] = {kGet};
        return commandBytes(get, b);
    }
    tookControl();
    return onLink(device, b, [&](const Link& link) {
        Device_GenericParms parms{link.lid, 0, 0, b.ioMs()};
        Device_Error reply{};
        int code = remote(device_trigger, reinterpret_cast<xdrproc_t>(xdr_Device_GenericParms),
                          &parms, reinterpret_cast<xdrproc_t>(xdr_Device_Error), &reply, b);
        return code ? code : reply.error;
    });
}

int Gateway::clear(const BusAddress* device) {
    const Budget b = controlBudget();
    if (!device) {
        const uint8_t dcl[] = {kDcl};  // every device on the bus
        return commandBytes(dcl, b);
    }
    tookControl();
    return onLink(device, b, [&](const Link& link) {
        Device_GenericParms parms{link.lid, 0, 0, b.ioMs()};
        Device_Error reply{};
        int code = remote(device_clear, reinterpret_cast<xdrproc_t>(xdr_Device_GenericParms),
                          &parms, reinterpret_cast<xdrproc_t>(xdr_Device_Error), &reply, b);
        return code ? code : reply.error;
    });
}

int Gateway::interfaceClear() {
    tookControl();
    return docmd(kDocmdInterfaceClear, nullptr, 0, 0, controlBudget());
}

int Gateway::remoteEnable(bool on) {
    auto value = shortOf(on ? 1 : 0);
    return docmd(kDocmdRemoteEnable, value.data(), 2, 2, controlBudget());
}

int Gateway::srqLine(bool& asserted) {
    int line = 0;
    int err = busStatus(kStatusSrq, controlBudget(), line);
    asserted = line != 0;
    return err;
}

int Gateway::setOwnAddress(int pad, int sad) {
    // A gateway has a primary address only.
    if (sad != 0)
        return GPIB_ECAP;
    auto value = shortOf(pad);
    return docmd(kDocmdBusAddress, value.data(), 2, 2, controlBudget());
}

int Gateway::command(std::span<const uint8_t> bytes, gpibdrv::Timeout t, long& sent) {
    const Budget b = budget(t);
    sent = 0;
    while (size_t(sent) < bytes.size()) {
        auto part =
            bytes.subspan(size_t(sent), std::min<size_t>(kMaxCommandBytes, bytes.size() - sent));
        if (int err = commandBytes(part, b); err != kDone)
            return err;
        sent += long(part.size());
    }
    return kDone;
}

int Gateway::goToLocal(BusAddress device) {
    const Budget b = controlBudget();
    tookControl();
    return onLink(&device, b, [&](const Link& link) {
        Device_GenericParms parms{link.lid, 0, 0, b.ioMs()};
        Device_Error reply{};
        int code = remote(device_local, reinterpret_cast<xdrproc_t>(xdr_Device_GenericParms),
                          &parms, reinterpret_cast<xdrproc_t>(xdr_Device_Error), &reply, b);
        return code ? code : reply.error;
    });
}

int Gateway::lines(int& state) {
    // A gateway's bus status shows REN, SRQ and NDAC; the other lines stay
    // out of sight.
    const Budget b = controlBudget();
    int ren = 0, srq = 0, ndac = 0;
    int err = busStatus(kStatusRen, b, ren);
    if (err == kDone)
        err = busStatus(kStatusSrq, b, srq);
    if (err == kDone)
        err = busStatus(kStatusNdac, b, ndac);
    state = gpibdrv::kValidRen | gpibdrv::kValidSrq | gpibdrv::kValidNdac |
            (ren ? gpibdrv::kBusRen : 0) | (srq ? gpibdrv::kBusSrq : 0) |
            (ndac ? gpibdrv::kBusNdac : 0);
    return err;
}

}  // namespace vxi11
