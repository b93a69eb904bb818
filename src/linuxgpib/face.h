#pragma once
// What the exports of libgpib.so.0 share: one call through the driver core,
// its status for the calling thread and in linux-gpib's globals, its trace
// line; and the numbering linux-gpib speaks where the core speaks another.

#include <fmt/format.h>

#include <string>

#include "bundled/driver_host.h"

namespace linuxgpib {

using bundled::Call;

// linux-gpib's end modes (DABend 1, NLend 2) in the core's numbering.
inline int coreEndMode(int eotmode) {
    return eotmode == 1 ? GPIB_DABend : eotmode == 2 ? GPIB_NLend : eotmode;
}

// Makes sure the globals follow each call (set once, on the first call).
void publishToGlobals();

// A descriptor that names nothing (never opened, closed, out of range) is
// answered as linux-gpib's library answers it: ERR, EARG, a zero count and
// "libgpib: invalid descriptor" on standard error, once for the call.
void invalidDescriptor(gpibdrv::CallStatus& st);
// A device descriptor where a 488.2 routine wants a board: ERR and the
// routine's own error, with nothing printed.
void deviceForBoard(gpibdrv::CallStatus& st, int err);

// A traditional call: body(driver, status) returns ibsta or a descriptor.
template <class Body, class Args>
int traditional(const char* name, Body&& body, Args&& args, int onError = GPIB_ERR) {
    publishToGlobals();
    Call c(name);
    int r = c.driver() ? bundled::guarded(
                             c, [&] { return body(*c.driver(), c.st()); }, onError)
                       : onError;
    if (c.st().unknownDescriptor) {
        invalidDescriptor(c.st());
        r = c.st().ibsta;
    }
    return c.finishInt(r, args);
}

// A 488.2 routine on a board: body(driver, status). onDevice is what
// linux-gpib's routine answers when board is a device descriptor: most say
// EDVR, those built on a board-only traditional call say EARG.
template <class Body, class Args>
void routine(const char* name, int board, Body&& body, Args&& args, int onDevice = GPIB_EDVR) {
    publishToGlobals();
    Call c(name);
    if (c.driver())
        bundled::guarded(
            c,
            [&] {
                body(*c.driver(), c.st());
                if (!c.st().unknownDescriptor)
                    return 0;
                if (c.driver()->isOpenDevice(board))
                    deviceForBoard(c.st(), onDevice);
                else
                    invalidDescriptor(c.st());
                return 0;
            },
            0);
    c.finish("void", args);
}

// Asynchronous transfers complete before their call returns; their status
// is kept for AsyncIbsta and friends.
void rememberAsync();

inline std::string hex(unsigned v) {
    return fmt::format("0x{:04X}", v);
}

}  // namespace linuxgpib
