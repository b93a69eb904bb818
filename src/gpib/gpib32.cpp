// The driver wrappers: convert the arguments, call the entry point, refresh
// the status. Nothing here decides whether a call failed; callers read ibsta.
// Each wrapper's body runs through traced(), which costs one test of a flag
// while the trace is off; the second lambda describes the call for the trace.

#include "gpib/gpib32.h"

#include <algorithm>
#include <type_traits>
#include <vector>

#include "gpib/call_text.h"

using namespace calltext;

// Out arguments are the caller's 16-bit variables, handed to the driver's
// short* parameters as they are.
static_assert(std::is_same_v<int16_t, short>);

namespace {

const Addr4882_t* asWords(std::span<int16_t> list) {
    return reinterpret_cast<const Addr4882_t*>(list.data());
}

// Addresses before the end word, or -1 when the list has no end word: the
// driver would read past the caller's array looking for it.
long addressCount(std::span<const int16_t> list) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == -1)
            return static_cast<long>(i);
    }
    return -1;
}

}  // namespace

GPIB32::GPIB32(DriverLibrary& library)
    : m_library(library), m_swapEndModes(library.Family() == EndModeFamily::LinuxGpib) {}

template <typename Fn>
bool GPIB32::bind(Fn& slot, std::initializer_list<const char*> names) {
    slot = reinterpret_cast<Fn>(m_library.Resolve(std::vector<const char*>(names)));
    return slot != nullptr;
}

template <typename Call, typename Describe>
auto GPIB32::traced(const Call& call, const Describe& describe) {
    if (!m_trace.on()) [[likely]]
        return call();
    m_refusal = nullptr;
    const int64_t start = CallTrace::now();
    if constexpr (std::is_void_v<decltype(call())>) {
        call();
        const int64_t end = CallTrace::now();
        finishTrace(start, end, describe());
    } else {
        const auto result = call();
        const int64_t end = CallTrace::now();
        finishTrace(start, end, describe());
        return result;
    }
}

void GPIB32::finishTrace(int64_t start, int64_t end, std::string text) {
    text += " | ";
    text += status(ibsta, iberr, ibcntl);
    if (m_refusal) {
        text += " | ";
        text += m_refusal;
    }
    m_trace.record(start, end, text);
}

std::string GPIB32::traceResults(const std::string& text) const {
    return m_refusal ? std::string() : " -> " + text;
}

void GPIB32::setStatus(int16_t error) {
    // Only calls the driver never saw end here.
    m_refusal = error == GPIB_EDVR ? "not called: entry point missing"
                                   : "not called: address list without end word, or result "
                                     "list too short";
    ibsta = static_cast<int16_t>(GPIB_ERR);
    iberr = error;
    ibcnt = 0;
    ibcntl = 0;
}

bool GPIB32::bindStatus() {
    if (!bind(m_ThreadIbsta, {"ThreadIbsta"}) || !bind(m_ThreadIberr, {"ThreadIberr"}) ||
        !bind(m_ThreadIbcnt, {"ThreadIbcnt"}) ||
        !bind(m_ThreadIbcntl, {"ThreadIbcntl", "ThreadIbcnt"})) {
        return false;
    }
    m_countIsNarrow = !m_library.Exports("ThreadIbcntl");
    m_statusBound = true;
    return true;
}

void GPIB32::RefreshStatus() {
    if (!m_statusBound && !bindStatus())
        return missingEntryPoint();
    ibsta = static_cast<int16_t>(m_ThreadIbsta());
    iberr = static_cast<int16_t>(m_ThreadIberr());
    // All four, in this order: a driver may keep the 16-bit count apart from
    // the full one, and each variable shows what its own entry point says.
    const int count = m_ThreadIbcnt();
    ibcnt = static_cast<int16_t>(count);
    ibcntl = m_countIsNarrow ? count : static_cast<int32_t>(m_ThreadIbcntl());
}

int16_t GPIB32::ibask(int16_t ud, int16_t option, int16_t& value) {
    return traced(
        [&]() -> int16_t {
            if (!m_ibask && !bind(m_ibask, {"ibask"}))
                return missingResult();
            int wide = 0;
            const int result = m_ibask(ud, option, &wide);
            value = static_cast<int16_t>(wide);
            RefreshStatus();
            return static_cast<int16_t>(result);
        },
        [&] {
            return call("ibask", {descriptor(ud), calltext::option("Iba", option)}) +
                   traceResults("value " + std::to_string(value));
        });
}

int16_t GPIB32::ibconfig(int16_t ud, int16_t option, int16_t value) {
    return traced(
        [&]() -> int16_t {
            if (!m_ibconfig && !bind(m_ibconfig, {"ibconfig"}))
                return missingResult();
            const int result = m_ibconfig(ud, option, value);
            RefreshStatus();
            return static_cast<int16_t>(result);
        },
        [&] {
            return call("ibconfig", {descriptor(ud), calltext::option("Ibc", option),
                                     optionValue(option, value)});
        });
}

int16_t GPIB32::ibdev(int16_t board, int16_t pad, int16_t sad, int16_t tmo, int16_t eot,
                      int16_t eos, int16_t& ud) {
    return traced(
        [&]() -> int16_t {
            if (!m_ibdev && !bind(m_ibdev, {"ibdev"})) {
                missingEntryPoint();
                return ud = -1;
            }
            ud = static_cast<int16_t>(m_ibdev(board, pad, sad, tmo, eot, eos));
            RefreshStatus();
            return ud;
        },
        [&] {
            return call("ibdev",
                        {calltext::board(board), "pad " + std::to_string(pad), secondary(sad),
                         timeout(tmo), calltext::eot(eot), calltext::eos(eos)}) +
                   traceResults(descriptor(ud));
        });
}

int16_t GPIB32::ibfind(const Text& name) {
    int16_t ignored = 0;
    return ibfind(name, ignored);
}

int16_t GPIB32::ibfind(const Text& name, int16_t& ud) {
    return traced(
        [&]() -> int16_t {
            if (!m_ibfind && !bind(m_ibfind, {"ibfindA", "ibfind"})) {
                missingEntryPoint();
                return ud = -1;
            }
            ToCodePage(name, m_buffer);
            ud = static_cast<int16_t>(m_ibfind(m_buffer.c_str()));
            RefreshStatus();
            return ud;
        },
        [&] {
            const TextView shown = TextView(name).substr(0, kShownBytes + 1);
            return call("ibfind", {quoted(ToCodePage(shown))}) + traceResults(descriptor(ud));
        });
}

int16_t GPIB32::ibln(int16_t ud, int16_t pad, int16_t sad, int16_t& listen) {
    return traced(
        [&]() -> int16_t {
            if (!m_ibln && !bind(m_ibln, {"ibln"}))
                return missingResult();
            const int result = m_ibln(ud, pad, sad, &listen);
            RefreshStatus();
            return static_cast<int16_t>(result);
        },
        [&] {
            return call("ibln", {descriptor(ud), "pad " + std::to_string(pad), secondary(sad)}) +
                   traceResults(listen != 0 ? "listener" : "no listener");
        });
}

int16_t GPIB32::ibonl(int16_t ud, int16_t value) {
    return traced(
        [&]() -> int16_t {
            if (!m_ibonl && !bind(m_ibonl, {"ibonl"}))
                return missingResult();
            const int result = m_ibonl(ud, value);
            RefreshStatus();
            return static_cast<int16_t>(result);
        },
        [&] {
            return call("ibonl", {descriptor(ud), value != 0 ? "online" : "offline"});
        });
}

int16_t GPIB32::callShortcut(ConfigShortcut& slot, const char* name, int option, int16_t ud,
                             int16_t value) {
    return traced(
        [&]() -> int16_t {
            if (!slot.fn) {
                slot.fn = m_library.Resolve({name, "ibconfig"});
                if (!slot.fn)
                    return missingResult();
                slot.viaConfig = !m_library.Exports(name);
            }
            const int result = slot.viaConfig
                                   ? reinterpret_cast<ibconfig_fn>(slot.fn)(ud, option, value)
                                   : reinterpret_cast<ibpad_fn>(slot.fn)(ud, value);
            RefreshStatus();
            return static_cast<int16_t>(result);
        },
        [&] {
            const std::string shown =
                option == GPIB_IbcPAD ? "pad " + std::to_string(value) : optionValue(option, value);
            // Named as the program called it, and how it reached the driver.
            return call(name, {descriptor(ud), shown}) + (slot.viaConfig ? " via ibconfig" : "");
        });
}

int16_t GPIB32::ibpad(int16_t ud, int16_t pad) {
    return callShortcut(m_ibpad, "ibpad", GPIB_IbcPAD, ud, pad);
}

int16_t GPIB32::ibsre(int16_t ud, int16_t value) {
    return callShortcut(m_ibsre, "ibsre", GPIB_IbcSRE, ud, value);
}

int16_t GPIB32::ibtmo(int16_t ud, int16_t tmo) {
    return callShortcut(m_ibtmo, "ibtmo", GPIB_IbcTMO, ud, tmo);
}

void GPIB32::AllSpoll(int16_t board, std::span<int16_t> addrlist, std::span<int16_t> results) {
    traced(
        [&] {
            if (!m_AllSpoll && !bind(m_AllSpoll, {"AllSpoll", "AllSPoll"}))
                return missingEntryPoint();
            // One result per address: both arrays must hold what the driver touches.
            const long count = addressCount(addrlist);
            if (count < 0 || results.size() < static_cast<size_t>(count))
                return setStatus(GPIB_EARG);
            m_AllSpoll(board, asWords(addrlist), results.data());
            RefreshStatus();
        },
        [&] {
            return call("AllSpoll", {calltext::board(board), addressList(addrlist)}) +
                   traceResults("stb " + statusBytes(results, addressCount(addrlist)));
        });
}

void GPIB32::DevClear(int16_t board, int16_t addr) {
    traced(
        [&] {
            if (!m_DevClear && !bind(m_DevClear, {"DevClear"}))
                return missingEntryPoint();
            m_DevClear(board, static_cast<Addr4882_t>(addr));
            RefreshStatus();
        },
        [&] {
            return call("DevClear", {calltext::board(board), address(addr)});
        });
}

void GPIB32::FindLstn(int16_t board, std::span<int16_t> padlist, std::span<int16_t> found,
                      int16_t limit) {
    traced(
        [&] {
            if (!m_FindLstn && !bind(m_FindLstn, {"FindLstn"}))
                return missingEntryPoint();
            // The driver writes up to limit cells of the found list.
            if (addressCount(padlist) < 0 ||
                (limit > 0 && found.size() < static_cast<size_t>(limit))) {
                return setStatus(GPIB_EARG);
            }
            m_FindLstn(board, asWords(padlist), reinterpret_cast<Addr4882_t*>(found.data()), limit);
            RefreshStatus();
        },
        [&] {
            // The listeners found are the first ibcntl cells (never past limit).
            const long listed = std::min<long>(ibcntl, limit);
            std::vector<int16_t> listeners(
                found.begin(), found.begin() + std::clamp<long>(listed, 0, std::ssize(found)));
            listeners.push_back(-1);
            return call("FindLstn", {calltext::board(board), addressList(padlist),
                                     "limit " + std::to_string(limit)}) +
                   traceResults("found " + addressList(listeners));
        });
}

void GPIB32::FindRQS(int16_t board, std::span<int16_t> addrlist, int16_t& status) {
    traced(
        [&] {
            if (!m_FindRQS && !bind(m_FindRQS, {"FindRQS"}))
                return missingEntryPoint();
            if (addressCount(addrlist) < 0)
                return setStatus(GPIB_EARG);
            m_FindRQS(board, asWords(addrlist), &status);
            RefreshStatus();
        },
        [&] {
            return call("FindRQS", {calltext::board(board), addressList(addrlist)}) +
                   traceResults(statusByte(status) + " index " + std::to_string(ibcntl));
        });
}

void GPIB32::ReadStatusByte(int16_t board, int16_t addr, int16_t& status) {
    traced(
        [&] {
            if (!m_ReadStatusByte && !bind(m_ReadStatusByte, {"ReadStatusByte"}))
                return missingEntryPoint();
            m_ReadStatusByte(board, static_cast<Addr4882_t>(addr), &status);
            RefreshStatus();
        },
        [&] {
            return call("ReadStatusByte", {calltext::board(board), address(addr)}) +
                   traceResults(statusByte(status));
        });
}

void GPIB32::Receive(int16_t board, int16_t addr, Text& buffer, int16_t termination) {
    traced(
        [&] {
            if (!m_Receive && !bind(m_Receive, {"Receive"}))
                return missingEntryPoint();
            // The driver overwrites only what arrives; the rest of the caller's
            // text goes out and comes back unchanged, so the length never changes.
            ToCodePage(buffer, m_buffer);
            m_Receive(board, static_cast<Addr4882_t>(addr), m_buffer.data(),
                      static_cast<long>(m_buffer.size()), termination);
            FromCodePage(m_buffer, buffer);
            RefreshStatus();
        },
        [&] {
            return call("Receive", {calltext::board(board), address(addr),
                                    "max " + std::to_string(buffer.size()) + " bytes",
                                    calltext::termination(termination)}) +
                   traceResults(bytes(buffer, ibcntl));
        });
}

void GPIB32::Send(int16_t board, int16_t addr, Text& text, int16_t eotmode) {
    traced(
        [&] {
            if (!m_Send && !bind(m_Send, {"Send"}))
                return missingEntryPoint();
            int mode = eotmode;
            if (m_swapEndModes && (mode == GPIB_NLend || mode == GPIB_DABend)) {
                mode = mode == GPIB_NLend ? GPIB_DABend : GPIB_NLend;
            }
            ToCodePage(text, m_buffer);
            m_Send(board, static_cast<Addr4882_t>(addr), m_buffer.data(),
                   static_cast<long>(m_buffer.size()), mode);
            FromCodePage(m_buffer, text);
            RefreshStatus();
        },
        [&] {
            return call("Send", {calltext::board(board), address(addr),
                                 bytes(text, static_cast<long>(text.size())), endMode(eotmode)});
        });
}

void GPIB32::SendIFC(int16_t board) {
    traced(
        [&] {
            if (!m_SendIFC && !bind(m_SendIFC, {"SendIFC"}))
                return missingEntryPoint();
            m_SendIFC(board);
            RefreshStatus();
        },
        [&] { return call("SendIFC", {calltext::board(board)}); });
}

void GPIB32::TestSRQ(int16_t board, int16_t& result) {
    traced(
        [&] {
            if (!m_TestSRQ && !bind(m_TestSRQ, {"TestSRQ"}))
                return missingEntryPoint();
            m_TestSRQ(board, &result);
            RefreshStatus();
        },
        [&] {
            return call("TestSRQ", {calltext::board(board)}) +
                   traceResults(result != 0 ? "SRQ asserted" : "SRQ not asserted");
        });
}

void GPIB32::Trigger(int16_t board, int16_t addr) {
    traced(
        [&] {
            if (!m_Trigger && !bind(m_Trigger, {"Trigger"}))
                return missingEntryPoint();
            m_Trigger(board, static_cast<Addr4882_t>(addr));
            RefreshStatus();
        },
        [&] {
            return call("Trigger", {calltext::board(board), address(addr)});
        });
}
