// The driver entry points of libgpib-scripted.so. Each one takes its scripted
// outcome, does what a driver would do with the caller's buffers, and logs
// the call with its integer arguments and the bytes it was handed.

#include <algorithm>
#include <cstring>

#include "abi/gpib_abi.h"
#include "scripted_state.h"

using scripted::Call;
using scripted::Outcome;
namespace detail = scripted::detail;

namespace {

// Logs a call whose counts are the outcome's own.
int finish(Call call, const Outcome& o) {
    detail::Log(std::move(call), o, o.ibcntl);
    return static_cast<int>(o.result);
}

int simple(const char* name, std::vector<long> args) {
    Outcome o = detail::Take(name);
    return finish(Call{name, std::move(args), {}, {}}, o);
}

// Results written per address: the addresses before the end word.
size_t addressCount(const std::vector<int>& words) {
    return std::count_if(words.begin(), words.end(), [](int w) { return w != 0xFFFF; });
}

}  // namespace

// The variants that log under another name serve libgpib-partial.so, whose
// entry points carry the alternative names some drivers export.
extern "C" GPIB_EXPORT int scripted_ibfind_as(const char* as, const char* name) {
    Outcome o = detail::Take(as);
    return finish(Call{as, {}, name ? name : "", {}}, o);
}

extern "C" GPIB_EXPORT void scripted_AllSpoll_as(const char* as, int board,
                                                 const Addr4882_t* addrlist, short* results) {
    Outcome o = detail::Take(as);
    std::vector<int> words = detail::ReadList(addrlist);
    size_t n = std::min(o.words.size(), addressCount(words));
    for (size_t i = 0; results && i < n; ++i) results[i] = static_cast<short>(o.words[i]);
    finish(Call{as, {board}, {}, std::move(words)}, o);
}

extern "C" {

GPIB_EXPORT int GPIB_CALL ibask(int ud, int option, int* value) {
    Outcome o = detail::Take("ibask");
    if (value)
        *value = o.value;
    return finish(Call{"ibask", {ud, option}, {}, {}}, o);
}

GPIB_EXPORT int GPIB_CALL ibconfig(int ud, int option, int value) {
    return simple("ibconfig", {ud, option, value});
}

GPIB_EXPORT int GPIB_CALL ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    return simple("ibdev", {board, pad, sad, tmo, eot, eos});
}

GPIB_EXPORT int GPIB_CALL ibfindA(const char* name) {
    return scripted_ibfind_as("ibfindA", name);
}

GPIB_EXPORT int GPIB_CALL ibln(int ud, int pad, int sad, short* listen) {
    Outcome o = detail::Take("ibln");
    if (listen)
        *listen = static_cast<short>(o.value);
    return finish(Call{"ibln", {ud, pad, sad}, {}, {}}, o);
}

GPIB_EXPORT int GPIB_CALL ibonl(int ud, int v) {
    return simple("ibonl", {ud, v});
}
GPIB_EXPORT int GPIB_CALL ibpad(int ud, int pad) {
    return simple("ibpad", {ud, pad});
}
GPIB_EXPORT int GPIB_CALL ibsre(int ud, int v) {
    return simple("ibsre", {ud, v});
}
GPIB_EXPORT int GPIB_CALL ibtmo(int ud, int tmo) {
    return simple("ibtmo", {ud, tmo});
}

GPIB_EXPORT int GPIB_CALL ThreadIbsta(void) {
    return detail::Ibsta();
}
GPIB_EXPORT int GPIB_CALL ThreadIberr(void) {
    return detail::Iberr();
}
GPIB_EXPORT int GPIB_CALL ThreadIbcnt(void) {
    return static_cast<int>(detail::Ibcntl());
}
GPIB_EXPORT long GPIB_CALL ThreadIbcntl(void) {
    return detail::Ibcntl();
}

GPIB_EXPORT void GPIB_CALL AllSpoll(int board, const Addr4882_t* addrlist, short* results) {
    scripted_AllSpoll_as("AllSpoll", board, addrlist, results);
}

GPIB_EXPORT void GPIB_CALL DevClear(int board, Addr4882_t addr) {
    simple("DevClear", {board, addr});
}

GPIB_EXPORT void GPIB_CALL FindLstn(int board, const Addr4882_t* padlist, Addr4882_t* found,
                                    int limit) {
    Outcome o = detail::Take("FindLstn");
    size_t n = std::min(o.words.size(), static_cast<size_t>(std::max(limit, 0)));
    for (size_t i = 0; found && i < n; ++i) found[i] = static_cast<Addr4882_t>(o.words[i]);
    finish(Call{"FindLstn", {board, limit}, {}, detail::ReadList(padlist)}, o);
}

GPIB_EXPORT void GPIB_CALL FindRQS(int board, const Addr4882_t* addrlist, short* status) {
    Outcome o = detail::Take("FindRQS");
    if (status)
        *status = static_cast<short>(o.value);
    finish(Call{"FindRQS", {board}, {}, detail::ReadList(addrlist)}, o);
}

GPIB_EXPORT void GPIB_CALL ReadStatusByte(int board, Addr4882_t addr, short* status) {
    Outcome o = detail::Take("ReadStatusByte");
    if (status)
        *status = static_cast<short>(o.value);
    finish(Call{"ReadStatusByte", {board, addr}, {}, {}}, o);
}

GPIB_EXPORT void GPIB_CALL Receive(int board, Addr4882_t addr, void* buffer, long count,
                                   int termination) {
    Outcome o = detail::Take("Receive");
    long written = std::min(static_cast<long>(o.data.size()), std::max(count, 0L));
    if (buffer && written > 0)
        std::memcpy(buffer, o.data.data(), written);
    Call call{"Receive", {board, addr, count, termination}, {}, {}};
    detail::Log(std::move(call), o, o.data.empty() ? o.ibcntl : written);
}

GPIB_EXPORT void GPIB_CALL Send(int board, Addr4882_t addr, const void* buffer, long count,
                                int eotmode) {
    Outcome o = detail::Take("Send");
    std::string data;
    if (buffer && count > 0)
        data.assign(static_cast<const char*>(buffer), count);
    finish(Call{"Send", {board, addr, count, eotmode}, std::move(data), {}}, o);
}

GPIB_EXPORT void GPIB_CALL SendIFC(int board) {
    simple("SendIFC", {board});
}

GPIB_EXPORT void GPIB_CALL TestSRQ(int board, short* result) {
    Outcome o = detail::Take("TestSRQ");
    if (result)
        *result = static_cast<short>(o.value);
    finish(Call{"TestSRQ", {board}, {}, {}}, o);
}

GPIB_EXPORT void GPIB_CALL Trigger(int board, Addr4882_t addr) {
    simple("Trigger", {board, addr});
}

GPIB_EXPORT const char* GPIB_CALL GpibDriverDescription(void) {
    return "scripted test driver";
}

}  // extern "C"
