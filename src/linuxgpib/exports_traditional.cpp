// The traditional calls of libgpib.so.0, each one call of the driver core.
#include "linuxgpib/face.h"

#include "gpib/ib.h"

using gpibdrv::CallStatus;
using gpibdrv::CallTrace;
using gpibdrv::Driver;
using linuxgpib::hex;
using linuxgpib::traditional;

namespace {

// The common shapes: a descriptor alone, a descriptor and a number.
int one(const char* name, int (Driver::*call)(int, CallStatus&), int ud) {
    return traditional(
        name, [&](Driver& d, CallStatus& st) { return (d.*call)(ud, st); },
        [&] { return std::to_string(ud); });
}

int two(const char* name, int (Driver::*call)(int, int, CallStatus&), int ud, int v) {
    return traditional(
        name, [&](Driver& d, CallStatus& st) { return (d.*call)(ud, v, st); },
        [&] { return fmt::format("{}, {}", ud, v); });
}

std::string text(const char* s) {
    return CallTrace::quoted(s, s ? long(strnlen(s, 256)) : 0);
}

}  // namespace

extern "C" {

GPIB_EXPORT int ibask(int ud, int option, int* value) {
    return traditional(
        "ibask", [&](Driver& d, CallStatus& st) { return d.ibask(ud, option, value, st); },
        [&] {
            return fmt::format("{}, {}, -> {}", ud, hex(unsigned(option)), value ? *value : 0);
        });
}

GPIB_EXPORT int ibbna(int ud, char* name) {
    return traditional(
        "ibbna", [&](Driver& d, CallStatus& st) { return d.ibbna(ud, name, st); },
        [&] { return fmt::format("{}, {}", ud, text(name)); });
}

GPIB_EXPORT int ibcac(int ud, int synchronous) {
    return two("ibcac", &Driver::ibcac, ud, synchronous);
}

GPIB_EXPORT int ibclr(int ud) {
    return one("ibclr", &Driver::ibclr, ud);
}

GPIB_EXPORT int ibcmd(int ud, const void* commands, long count) {
    return traditional(
        "ibcmd", [&](Driver& d, CallStatus& st) { return d.ibcmd(ud, commands, count, st); },
        [&] { return fmt::format("{}, {}, {}", ud, CallTrace::quoted(commands, count), count); });
}

GPIB_EXPORT int ibcmda(int ud, const void* commands, long count) {
    int r = traditional(
        "ibcmda", [&](Driver& d, CallStatus& st) { return d.ibcmd(ud, commands, count, st); },
        [&] { return fmt::format("{}, {}, {}", ud, CallTrace::quoted(commands, count), count); });
    linuxgpib::rememberAsync();
    return r;
}

GPIB_EXPORT int ibconfig(int ud, int option, int value) {
    return traditional(
        "ibconfig", [&](Driver& d, CallStatus& st) { return d.ibconfig(ud, option, value, st); },
        [&] { return fmt::format("{}, {}, {}", ud, hex(unsigned(option)), value); });
}

GPIB_EXPORT int ibdev(int board, int pad, int sad, int timeout, int send_eoi, int eos) {
    return traditional(
        "ibdev",
        [&](Driver& d, CallStatus& st) {
            return d.ibdev(board, pad, sad, timeout, send_eoi, eos, st);
        },
        [&] {
            return fmt::format("{}, {}, {}, {}, {}, {}", board, pad, hex(unsigned(sad)), timeout,
                               send_eoi, hex(unsigned(eos)));
        },
        -1);
}

GPIB_EXPORT int ibdma(int ud, int dma) {
    return two("ibdma", &Driver::ibdma, ud, dma);
}

GPIB_EXPORT int ibeos(int ud, int eos) {
    return two("ibeos", &Driver::ibeos, ud, eos);
}

GPIB_EXPORT int ibeot(int ud, int send_eoi) {
    return two("ibeot", &Driver::ibeot, ud, send_eoi);
}

GPIB_EXPORT int ibevent(int ud, short* event) {
    return traditional(
        "ibevent", [&](Driver& d, CallStatus& st) { return d.ibevent(ud, event, st); },
        [&] { return fmt::format("{}, -> {}", ud, event ? *event : 0); });
}

GPIB_EXPORT int ibfind(const char* name) {
    return traditional(
        "ibfind", [&](Driver& d, CallStatus& st) { return d.ibfind(name, st); },
        [&] { return text(name); }, -1);
}

GPIB_EXPORT int ibgts(int ud, int shadow_handshake) {
    return two("ibgts", &Driver::ibgts, ud, shadow_handshake);
}

GPIB_EXPORT int ibist(int ud, int ist) {
    return two("ibist", &Driver::ibist, ud, ist);
}

GPIB_EXPORT int iblines(int ud, short* lines) {
    return traditional(
        "iblines", [&](Driver& d, CallStatus& st) { return d.iblines(ud, lines, st); },
        [&] { return fmt::format("{}, -> {}", ud, hex(lines ? unsigned(uint16_t(*lines)) : 0)); });
}

GPIB_EXPORT int ibln(int ud, int pad, int sad, short* found) {
    return traditional(
        "ibln", [&](Driver& d, CallStatus& st) { return d.ibln(ud, pad, sad, found, st); },
        [&] { return fmt::format("{}, {}, {}, -> {}", ud, pad, sad, found ? *found : 0); });
}

GPIB_EXPORT int ibloc(int ud) {
    return one("ibloc", &Driver::ibloc, ud);
}

GPIB_EXPORT int ibonl(int ud, int online) {
    return two("ibonl", &Driver::ibonl, ud, online);
}

GPIB_EXPORT int ibpad(int ud, int pad) {
    return two("ibpad", &Driver::ibpad, ud, pad);
}

GPIB_EXPORT int ibpct(int ud) {
    return one("ibpct", &Driver::ibpct, ud);
}

GPIB_EXPORT int ibppc(int ud, int configuration) {
    return two("ibppc", &Driver::ibppc, ud, configuration);
}

GPIB_EXPORT int ibrd(int ud, void* buffer, long count) {
    return traditional(
        "ibrd", [&](Driver& d, CallStatus& st) { return d.ibrd(ud, buffer, count, st); },
        [&] {
            long got = std::min(bundled::threadStatus().ibcntl, count);
            return fmt::format("{}, {}, {}", ud, CallTrace::quoted(buffer, got < 0 ? 0 : got),
                               count);
        });
}

GPIB_EXPORT int ibrda(int ud, void* buffer, long count) {
    int r = traditional(
        "ibrda", [&](Driver& d, CallStatus& st) { return d.ibrd(ud, buffer, count, st); },
        [&] { return fmt::format("{}, {}", ud, count); });
    linuxgpib::rememberAsync();
    return r;
}

GPIB_EXPORT int ibrdf(int ud, const char* path) {
    return traditional(
        "ibrdf", [&](Driver& d, CallStatus& st) { return d.ibrdf(ud, path, st); },
        [&] { return fmt::format("{}, {}", ud, text(path)); });
}

GPIB_EXPORT int ibrpp(int ud, char* result) {
    return traditional(
        "ibrpp", [&](Driver& d, CallStatus& st) { return d.ibrpp(ud, result, st); },
        [&] { return fmt::format("{}, -> {}", ud, result ? int(uint8_t(*result)) : 0); });
}

GPIB_EXPORT int ibrsc(int ud, int request_control) {
    return two("ibrsc", &Driver::ibrsc, ud, request_control);
}

GPIB_EXPORT int ibrsp(int ud, char* result) {
    return traditional(
        "ibrsp", [&](Driver& d, CallStatus& st) { return d.ibrsp(ud, result, st); },
        [&] { return fmt::format("{}, -> {}", ud, result ? int(uint8_t(*result)) : 0); });
}

GPIB_EXPORT int ibrsv(int ud, int status_byte) {
    return two("ibrsv", &Driver::ibrsv, ud, status_byte);
}

GPIB_EXPORT int ibrsv2(int ud, int status_byte, int new_reason_for_service) {
    return traditional(
        "ibrsv2",
        [&](Driver& d, CallStatus& st) {
            return d.ibrsv2(ud, status_byte, new_reason_for_service, st);
        },
        [&] { return fmt::format("{}, {}, {}", ud, status_byte, new_reason_for_service); });
}

GPIB_EXPORT int ibsad(int ud, int sad) {
    return two("ibsad", &Driver::ibsad, ud, sad);
}

GPIB_EXPORT int ibsic(int ud) {
    return one("ibsic", &Driver::ibsic, ud);
}

GPIB_EXPORT int ibspb(int ud, short* count) {
    return traditional(
        "ibspb", [&](Driver& d, CallStatus& st) { return d.ibspb(ud, count, st); },
        [&] { return fmt::format("{}, -> {}", ud, count ? *count : 0); });
}

GPIB_EXPORT int ibsre(int ud, int enable) {
    return two("ibsre", &Driver::ibsre, ud, enable);
}

GPIB_EXPORT int ibstop(int ud) {
    int r = one("ibstop", &Driver::ibstop, ud);
    return r;
}

GPIB_EXPORT int ibtmo(int ud, int timeout) {
    return two("ibtmo", &Driver::ibtmo, ud, timeout);
}

GPIB_EXPORT int ibtrg(int ud) {
    return one("ibtrg", &Driver::ibtrg, ud);
}

GPIB_EXPORT int ibwait(int ud, int mask) {
    return two("ibwait", &Driver::ibwait, ud, mask);
}

GPIB_EXPORT int ibwrt(int ud, const void* data, long count) {
    return traditional(
        "ibwrt", [&](Driver& d, CallStatus& st) { return d.ibwrt(ud, data, count, st); },
        [&] { return fmt::format("{}, {}, {}", ud, CallTrace::quoted(data, count), count); });
}

GPIB_EXPORT int ibwrta(int ud, const void* data, long count) {
    int r = traditional(
        "ibwrta", [&](Driver& d, CallStatus& st) { return d.ibwrt(ud, data, count, st); },
        [&] { return fmt::format("{}, {}, {}", ud, CallTrace::quoted(data, count), count); });
    linuxgpib::rememberAsync();
    return r;
}

GPIB_EXPORT int ibwrtf(int ud, const char* path) {
    return traditional(
        "ibwrtf", [&](Driver& d, CallStatus& st) { return d.ibwrtf(ud, path, st); },
        [&] { return fmt::format("{}, {}", ud, text(path)); });
}

}  // extern "C"
