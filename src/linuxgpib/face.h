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

// A traditional call: body(driver, status) returns ibsta or a descriptor.
template <class Body, class Args>
int traditional(const char* name, Body&& body, Args&& args, int onError = GPIB_ERR) {
    publishToGlobals();
    Call c(name);
    int r = c.driver() ? bundled::guarded(
                             c, [&] { return body(*c.driver(), c.st()); }, onError)
                       : onError;
    return c.finishInt(r, args);
}

// A 488.2 routine: body(driver, status).
template <class Body, class Args>
void routine(const char* name, Body&& body, Args&& args) {
    publishToGlobals();
    Call c(name);
    if (c.driver())
        bundled::guarded(
            c,
            [&] {
                body(*c.driver(), c.st());
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
