// libgpib-partial.so: a driver that exports only part of the entry points,
// some under their alternative names (ibfind, AllSPoll, ThreadIbcnt without
// ThreadIbcntl, ibconfig without ibtmo/ibpad/ibsre), like an older or a
// linux-gpib style library. Calls go to the scripted driver's state, so tests
// script and read them through scripted_driver.h as usual.
//
// It finds the scripted driver at run time instead of linking it: a linked
// dependency would lend this library every entry point it means to lack.

#include <dlfcn.h>

#include "abi/gpib_abi.h"

namespace {

template <typename Fn>
Fn scriptedEntry(const char* symbol) {
    static void* handle = dlopen(SCRIPTED_LIBRARY_PATH, RTLD_NOW);
    return handle ? reinterpret_cast<Fn>(dlsym(handle, symbol)) : nullptr;
}

using ibfindAs_fn = int (*)(const char*, const char*);
using AllSpollAs_fn = void (*)(const char*, int, const Addr4882_t*, short*);

}  // namespace

extern "C" {

GPIB_EXPORT int ThreadIbsta(void) {
    static auto f = scriptedEntry<ThreadIbsta_fn>("ThreadIbsta");
    return f ? f() : GPIB_ERR;
}

GPIB_EXPORT int ThreadIberr(void) {
    static auto f = scriptedEntry<ThreadIberr_fn>("ThreadIberr");
    return f ? f() : GPIB_EDVR;
}

GPIB_EXPORT int ThreadIbcnt(void) {
    static auto f = scriptedEntry<ThreadIbcnt_fn>("ThreadIbcnt");
    return f ? f() : 0;
}

GPIB_EXPORT int ibfind(const char* name) {
    static auto f = scriptedEntry<ibfindAs_fn>("scripted_ibfind_as");
    return f ? f("ibfind", name) : -1;
}

GPIB_EXPORT int ibconfig(int ud, int option, int value) {
    static auto f = scriptedEntry<ibconfig_fn>("ibconfig");
    return f ? f(ud, option, value) : GPIB_ERR;
}

GPIB_EXPORT void AllSPoll(int board, const Addr4882_t* addrlist, short* results) {
    static auto f = scriptedEntry<AllSpollAs_fn>("scripted_AllSpoll_as");
    if (f)
        f("AllSPoll", board, addrlist, results);
}

GPIB_EXPORT void Send(int board, Addr4882_t addr, const void* buffer, long count, int eotmode) {
    static auto f = scriptedEntry<Send_fn>("Send");
    if (f)
        f(board, addr, buffer, count, eotmode);
}

GPIB_EXPORT void SendIFC(int board) {
    static auto f = scriptedEntry<SendIFC_fn>("SendIFC");
    if (f)
        f(board);
}

}  // extern "C"
