// The exported ib entry points of the bundled driver, the status of the
// calling thread, and the extra exports for tests.
#include "bundled/gpib_sim.h"

#include "bundled/driver_host.h"

#include <type_traits>

using namespace bundled;

extern "C" {

GPIB_EXPORT int GPIB_CALL ibask(int ud, int option, int* value) {
    Call c("ibask");
    int r = c.driver()
                ? guarded(
                      c, [&] { return c.driver()->ibask(ud, option, value, c.st()); }, GPIB_ERR)
                : GPIB_ERR;
    return c.finishInt(r, [&] {
        return fmt::format("{}, {}, -> {}", ud, hex(unsigned(option)), value ? *value : 0);
    });
}

GPIB_EXPORT int GPIB_CALL ibconfig(int ud, int option, int value) {
    Call c("ibconfig");
    int r = c.driver()
                ? guarded(
                      c, [&] { return c.driver()->ibconfig(ud, option, value, c.st()); }, GPIB_ERR)
                : GPIB_ERR;
    return c.finishInt(r,
                       [&] { return fmt::format("{}, {}, {}", ud, hex(unsigned(option)), value); });
}

GPIB_EXPORT int GPIB_CALL ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    Call c("ibdev");
    int r =
        c.driver()
            ? guarded(
                  c, [&] { return c.driver()->ibdev(board, pad, sad, tmo, eot, eos, c.st()); }, -1)
            : -1;
    return c.finishInt(r, [&] {
        return fmt::format("{}, {}, {}, {}, {}, {}", board, pad, hex(unsigned(sad)), tmo, eot,
                           hex(unsigned(eos)));
    });
}

GPIB_EXPORT int GPIB_CALL ibfindA(const char* name) {
    Call c("ibfind");
    int r = c.driver() ? guarded(
                             c, [&] { return c.driver()->ibfind(name, c.st()); }, -1)
                       : -1;
    return c.finishInt(
        r, [&] { return gpibdrv::CallTrace::quoted(name, name ? long(strnlen(name, 64)) : 0); });
}

GPIB_EXPORT int GPIB_CALL ibfind(const char* name) {
    return ibfindA(name);
}

GPIB_EXPORT int GPIB_CALL ibln(int ud, int pad, int sad, short* listen) {
    Call c("ibln");
    int r = c.driver()
                ? guarded(
                      c, [&] { return c.driver()->ibln(ud, pad, sad, listen, c.st()); }, GPIB_ERR)
                : GPIB_ERR;
    return c.finishInt(r, [&] {
        return fmt::format("{}, {}, {}, -> {}", ud, pad, hex(unsigned(sad)), listen ? *listen : 0);
    });
}

GPIB_EXPORT int GPIB_CALL ibonl(int ud, int v) {
    Call c("ibonl");
    int r = c.driver() ? guarded(
                             c, [&] { return c.driver()->ibonl(ud, v, c.st()); }, GPIB_ERR)
                       : GPIB_ERR;
    return c.finishInt(r, [&] { return fmt::format("{}, {}", ud, v); });
}

GPIB_EXPORT int GPIB_CALL ibpad(int ud, int pad) {
    Call c("ibpad");
    int r = c.driver() ? guarded(
                             c, [&] { return c.driver()->ibpad(ud, pad, c.st()); }, GPIB_ERR)
                       : GPIB_ERR;
    return c.finishInt(r, [&] { return fmt::format("{}, {}", ud, pad); });
}

GPIB_EXPORT int GPIB_CALL ibsre(int ud, int v) {
    Call c("ibsre");
    int r = c.driver() ? guarded(
                             c, [&] { return c.driver()->ibsre(ud, v, c.st()); }, GPIB_ERR)
                       : GPIB_ERR;
    return c.finishInt(r, [&] { return fmt::format("{}, {}", ud, v); });
}

GPIB_EXPORT int GPIB_CALL ibtmo(int ud, int tmo) {
    Call c("ibtmo");
    int r = c.driver() ? guarded(
                             c, [&] { return c.driver()->ibtmo(ud, tmo, c.st()); }, GPIB_ERR)
                       : GPIB_ERR;
    return c.finishInt(r, [&] { return fmt::format("{}, {}", ud, tmo); });
}

GPIB_EXPORT const char* GPIB_CALL GpibDriverDescription(void) {
    Host& h = host();
    std::unique_lock<std::shared_mutex> guard(h.lock);
    h.shownDescription = h.describe();
    return h.shownDescription.c_str();
}

GPIB_EXPORT int GPIB_CALL GpibSimReload(const char* benchPathOrNull) {
    Host& h = host();
    std::unique_lock<std::shared_mutex> guard(h.lock);
    return h.load(benchPathOrNull);
}

GPIB_EXPORT const char* GPIB_CALL GpibSimNotes(void) {
    Host& h = host();
    std::unique_lock<std::shared_mutex> guard(h.lock);
    if (!h.loaded)
        h.load(nullptr);
    return h.notes.c_str();
}

GPIB_EXPORT int GPIB_CALL ThreadIbsta(void) {
    return threadStatus().ibsta;
}
GPIB_EXPORT int GPIB_CALL ThreadIberr(void) {
    return threadStatus().iberr;
}
GPIB_EXPORT int GPIB_CALL ThreadIbcnt(void) {
    return int(threadStatus().ibcntl);
}
GPIB_EXPORT long GPIB_CALL ThreadIbcntl(void) {
    return threadStatus().ibcntl;
}

}  // extern "C"

// The exports keep exactly the driver's prototypes.
static_assert(std::is_same_v<decltype(&ibask), ibask_fn>);
static_assert(std::is_same_v<decltype(&ibconfig), ibconfig_fn>);
static_assert(std::is_same_v<decltype(&ibdev), ibdev_fn>);
static_assert(std::is_same_v<decltype(&ibfindA), ibfind_fn>);
static_assert(std::is_same_v<decltype(&ibfind), ibfind_fn>);
static_assert(std::is_same_v<decltype(&ibln), ibln_fn>);
static_assert(std::is_same_v<decltype(&ibonl), ibonl_fn>);
static_assert(std::is_same_v<decltype(&ibpad), ibpad_fn>);
static_assert(std::is_same_v<decltype(&ibsre), ibsre_fn>);
static_assert(std::is_same_v<decltype(&ibtmo), ibtmo_fn>);
static_assert(std::is_same_v<decltype(&ThreadIbsta), ThreadIbsta_fn>);
static_assert(std::is_same_v<decltype(&ThreadIberr), ThreadIberr_fn>);
static_assert(std::is_same_v<decltype(&ThreadIbcnt), ThreadIbcnt_fn>);
static_assert(std::is_same_v<decltype(&ThreadIbcntl), ThreadIbcntl_fn>);
static_assert(std::is_same_v<decltype(&GpibDriverDescription), GpibDriverDescription_fn>);
static_assert(std::is_same_v<decltype(&GpibSimReload), GpibSimReload_fn>);
static_assert(std::is_same_v<decltype(&GpibSimNotes), GpibSimNotes_fn>);
