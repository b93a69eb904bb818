// The status of libgpib.so.0: linux-gpib's globals, the per-thread values,
// the last asynchronous transfer's, error sentences and the version; and the
// description every driver library of ours exports (a kind: library board
// recognises our own libraries by it and does not load them).
#include <cstdio>
#include <mutex>

#include "linuxgpib/face.h"

#include "gpib/ib.h"

using bundled::host;
using bundled::threadStatus;

extern "C" {
GPIB_EXPORT volatile int ibsta = 0;
GPIB_EXPORT volatile int iberr = 0;
GPIB_EXPORT volatile int ibcnt = 0;
GPIB_EXPORT volatile long ibcntl = 0;
}

namespace linuxgpib {

namespace {

void toGlobals(const bundled::ThreadStatus& s) {
    ::ibsta = s.ibsta;
    ::iberr = s.iberr;
    ::ibcnt = int(s.ibcntl);
    ::ibcntl = s.ibcntl;
}

bundled::ThreadStatus& asyncStatus() {
    thread_local bundled::ThreadStatus status;
    return status;
}

// A system controller is controller in charge before a linux-gpib program
// makes its first call: linux-gpib's configuration tool sends IFC when it
// sets a board up. Each configuration loaded here starts the same way.
void takeControl(gpibdrv::Driver& driver) {
    // A board opens with the first call that reaches it: linux-gpib programs
    // call ibdev, or a 488.2 routine on the board index, without ibfind.
    driver.setOpenOnFirstUse(true);
    for (int index = 0; index < 16; ++index) {
        const gpibdrv::BoardSetup* setup = driver.setup(index);
        if (!setup || !setup->present || !setup->systemController)
            continue;
        gpibdrv::CallStatus st;
        driver.SendIFC(index, st);
    }
}

}  // namespace

void publishToGlobals() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::unique_lock<std::shared_mutex> hold(host().lock);
        host().publish = toGlobals;
        host().prepare = takeControl;
        if (host().loaded && host().driver)
            takeControl(*host().driver);
    });
}

void invalidDescriptor(gpibdrv::CallStatus& st) {
    st = {};
    st.ibsta = GPIB_ERR;
    st.setError(GPIB_EARG);
    st.setCount(0);
    std::fputs("libgpib: invalid descriptor\n", stderr);
}

void deviceForBoard(gpibdrv::CallStatus& st, int err) {
    st = {};
    st.ibsta = GPIB_ERR;
    st.setError(err);
    st.setCount(0);
}

void rememberAsync() {
    asyncStatus() = threadStatus();
    asyncStatus().ibsta &= GPIB_END | GPIB_ERR | GPIB_TIMO | GPIB_CMPL;
}

}  // namespace linuxgpib

extern "C" {

GPIB_EXPORT int ThreadIbsta(void) {
    return threadStatus().ibsta;
}
GPIB_EXPORT int ThreadIberr(void) {
    return threadStatus().iberr;
}
GPIB_EXPORT int ThreadIbcnt(void) {
    return int(threadStatus().ibcntl);
}
GPIB_EXPORT long ThreadIbcntl(void) {
    return threadStatus().ibcntl;
}
GPIB_EXPORT int AsyncIbsta(void) {
    return linuxgpib::asyncStatus().ibsta;
}
GPIB_EXPORT int AsyncIberr(void) {
    return linuxgpib::asyncStatus().iberr;
}
GPIB_EXPORT int AsyncIbcnt(void) {
    return int(linuxgpib::asyncStatus().ibcntl);
}
GPIB_EXPORT long AsyncIbcntl(void) {
    return linuxgpib::asyncStatus().ibcntl;
}

GPIB_EXPORT const char* gpib_error_string(int code) {
    switch (code) {
        case EDVR:
            return "EDVR: system error (ibcnt holds errno)";
        case ECIC:
            return "ECIC: the board is not controller in charge";
        case ENOL:
            return "ENOL: no listener on the bus";
        case EADR:
            return "EADR: nobody was addressed for the transfer";
        case EARG:
            return "EARG: a bad argument";
        case ESAC:
            return "ESAC: the board is not system controller";
        case EABO:
            return "EABO: the transfer was aborted (timeout)";
        case ENEB:
            return "ENEB: no such board, or it cannot be reached";
        case EDMA:
            return "EDMA: DMA error";
        case EOIP:
            return "EOIP: an asynchronous transfer is in progress";
        case ECAP:
            return "ECAP: the board cannot do this";
        case EFSO:
            return "EFSO: file error (ibcnt holds errno)";
        case EBUS:
            return "EBUS: command bytes could not be sent";
        case ESTB:
            return "ESTB: serial poll status bytes were lost";
        case ESRQ:
            return "ESRQ: SRQ stays asserted";
        case ETAB:
            return "ETAB: a table was too small, or nobody requests service";
        default:
            return "unknown error";
    }
}

GPIB_EXPORT void ibvers(char** version) {
    static char text[] = TM_VERSION;
    if (version)
        *version = text;
}

GPIB_EXPORT const char* GpibDriverDescription(void) {
    auto& h = host();
    std::unique_lock<std::shared_mutex> guard(h.lock);
    h.shownDescription = "linux-gpib interface of the bundled driver, " + h.describe();
    return h.shownDescription.c_str();
}

GPIB_EXPORT int GpibSimReload(const char* benchPathOrNull) {
    linuxgpib::publishToGlobals();
    auto& h = host();
    std::unique_lock<std::shared_mutex> guard(h.lock);
    return h.load(benchPathOrNull);
}

GPIB_EXPORT const char* GpibSimNotes(void) {
    auto& h = host();
    std::unique_lock<std::shared_mutex> guard(h.lock);
    if (!h.loaded)
        h.load(nullptr);
    return h.notes.c_str();
}

}  // extern "C"
