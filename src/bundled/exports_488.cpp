// The exported IEEE 488.2 routines of the bundled driver.
#include "bundled/driver_host.h"
#include "bundled/gpib_sim.h"

#include <algorithm>
#include <type_traits>

using namespace bundled;

namespace {

// The void routines share one shape: run on the driver (or fail when its
// configuration was refused), then record.
template <class Body, class Args>
void run(const char* name, Body&& body, Args&& args) {
    Call c(name);
    if (c.driver())
        guarded(
            c,
            [&] {
                body(*c.driver(), c.st());
                return 0;
            },
            0);
    c.finish("void", args);
}

}  // namespace

extern "C" {

GPIB_EXPORT void GPIB_CALL AllSpoll(int board, const Addr4882_t* addrlist, short* results) {
    run(
        "AllSpoll",
        [&](gpibdrv::Driver& b, gpibdrv::CallStatus& st) {
            b.AllSpoll(board, addrlist, results, st);
        },
        [&] { return fmt::format("{}, {}", board, list(addrlist)); });
}

GPIB_EXPORT void GPIB_CALL AllSPoll(int board, const Addr4882_t* addrlist, short* results) {
    AllSpoll(board, addrlist, results);
}

GPIB_EXPORT void GPIB_CALL DevClear(int board, Addr4882_t addr) {
    run(
        "DevClear",
        [&](gpibdrv::Driver& b, gpibdrv::CallStatus& st) { b.DevClear(board, addr, st); },
        [&] { return fmt::format("{}, {}", board, hex(addr)); });
}

GPIB_EXPORT void GPIB_CALL FindLstn(int board, const Addr4882_t* padlist, Addr4882_t* found,
                                    int limit) {
    run(
        "FindLstn",
        [&](gpibdrv::Driver& b, gpibdrv::CallStatus& st) {
            b.FindLstn(board, padlist, found, limit, st);
        },
        [&] { return fmt::format("{}, {}, {}", board, list(padlist), limit); });
}

GPIB_EXPORT void GPIB_CALL FindRQS(int board, const Addr4882_t* addrlist, short* status) {
    run(
        "FindRQS",
        [&](gpibdrv::Driver& b, gpibdrv::CallStatus& st) {
            b.FindRQS(board, addrlist, status, st);
        },
        [&] { return fmt::format("{}, {}, -> {}", board, list(addrlist), status ? *status : 0); });
}

GPIB_EXPORT void GPIB_CALL ReadStatusByte(int board, Addr4882_t addr, short* status) {
    run(
        "ReadStatusByte",
        [&](gpibdrv::Driver& b, gpibdrv::CallStatus& st) {
            b.ReadStatusByte(board, addr, status, st);
        },
        [&] { return fmt::format("{}, {}, -> {}", board, hex(addr), status ? *status : 0); });
}

GPIB_EXPORT void GPIB_CALL Receive(int board, Addr4882_t addr, void* buffer, long count,
                                   int termination) {
    run(
        "Receive",
        [&](gpibdrv::Driver& b, gpibdrv::CallStatus& st) {
            b.Receive(board, addr, buffer, count, termination, st);
        },
        [&] {
            long got = std::min(threadStatus().ibcntl, count);
            return fmt::format("{}, {}, {}, {}, {}", board, hex(addr),
                               gpibdrv::CallTrace::quoted(buffer, got < 0 ? 0 : got), count,
                               hex(unsigned(termination)));
        });
}

GPIB_EXPORT void GPIB_CALL Send(int board, Addr4882_t addr, const void* buffer, long count,
                                int eotmode) {
    run(
        "Send",
        [&](gpibdrv::Driver& b, gpibdrv::CallStatus& st) {
            b.Send(board, addr, buffer, count, eotmode, st);
        },
        [&] {
            return fmt::format("{}, {}, {}, {}, {}", board, hex(addr),
                               gpibdrv::CallTrace::quoted(buffer, count), count, eotmode);
        });
}

GPIB_EXPORT void GPIB_CALL SendIFC(int board) {
    run(
        "SendIFC", [&](gpibdrv::Driver& b, gpibdrv::CallStatus& st) { b.SendIFC(board, st); },
        [&] { return std::to_string(board); });
}

GPIB_EXPORT void GPIB_CALL TestSRQ(int board, short* result) {
    run(
        "TestSRQ",
        [&](gpibdrv::Driver& b, gpibdrv::CallStatus& st) { b.TestSRQ(board, result, st); },
        [&] { return fmt::format("{}, -> {}", board, result ? *result : 0); });
}

GPIB_EXPORT void GPIB_CALL Trigger(int board, Addr4882_t addr) {
    run(
        "Trigger", [&](gpibdrv::Driver& b, gpibdrv::CallStatus& st) { b.Trigger(board, addr, st); },
        [&] { return fmt::format("{}, {}", board, hex(addr)); });
}

}  // extern "C"

// The exports keep exactly the driver's prototypes.
static_assert(std::is_same_v<decltype(&AllSpoll), AllSpoll_fn>);
static_assert(std::is_same_v<decltype(&AllSPoll), AllSpoll_fn>);
static_assert(std::is_same_v<decltype(&DevClear), DevClear_fn>);
static_assert(std::is_same_v<decltype(&FindLstn), FindLstn_fn>);
static_assert(std::is_same_v<decltype(&FindRQS), FindRQS_fn>);
static_assert(std::is_same_v<decltype(&ReadStatusByte), ReadStatusByte_fn>);
static_assert(std::is_same_v<decltype(&Receive), Receive_fn>);
static_assert(std::is_same_v<decltype(&Send), Send_fn>);
static_assert(std::is_same_v<decltype(&SendIFC), SendIFC_fn>);
static_assert(std::is_same_v<decltype(&TestSRQ), TestSRQ_fn>);
static_assert(std::is_same_v<decltype(&Trigger), Trigger_fn>);
