#pragma once
// The driver entry points that do bus work, by name: what a fault in the
// bench file names and what the trace prints.

#include <optional>
#include <string_view>

namespace gpibdrv {

// Every entry point of every face, in one list: the first nineteen are those
// of libtm-gpib.so, in the order the window's trace has always known them.
// clang-format off
#define TM_GPIB_CALLS(X) \
    X(ibask) X(ibconfig) X(ibdev) X(ibfind) X(ibln) X(ibonl) X(ibpad) X(ibsre) X(ibtmo) \
    X(AllSpoll) X(DevClear) X(FindLstn) X(FindRQS) X(ReadStatusByte) X(Receive) X(Send) \
    X(SendIFC) X(TestSRQ) X(Trigger) X(ibbna) X(ibcac) X(ibclr) X(ibcmd) X(ibcmda) X(ibeos) \
    X(ibeot) X(ibgts) X(ibist) X(iblines) X(ibloc) X(ibpct) X(ibppc) X(ibrd) X(ibrda) X(ibrdf) \
    X(ibrpp) X(ibrsc) X(ibrsp) X(ibrsv) X(ibsad) X(ibsic) X(ibspb) X(ibstop) X(ibtrg) \
    X(ibwait) X(ibwrt) X(ibwrta) X(ibwrtf) X(DevClearList) X(EnableLocal) X(EnableRemote) \
    X(PassControl) X(PPoll) X(PPollConfig) X(PPollUnconfig) X(RcvRespMsg) X(ReceiveSetup) \
    X(ResetSys) X(SendCmds) X(SendDataBytes) X(SendList) X(SendLLO) X(SendSetup) X(SetRWLS) \
    X(TestSys) X(TriggerList) X(WaitSRQ) X(ibdma) X(ibevent) X(ibrsv2)
// clang-format on

enum class CallId {
#define TM_GPIB_CALL_ENUM(name) name,
    TM_GPIB_CALLS(TM_GPIB_CALL_ENUM)
#undef TM_GPIB_CALL_ENUM
};
#define TM_GPIB_CALL_COUNT(name) +1
constexpr int kCallIdCount = 0 TM_GPIB_CALLS(TM_GPIB_CALL_COUNT);
#undef TM_GPIB_CALL_COUNT

std::string_view callName(CallId id);
// Accepts the alternative export names too (ibfindA, AllSPoll).
std::optional<CallId> callByName(std::string_view name);

// iberr and ibsta mnemonics, as the bench file may write them.
std::optional<int> errorCodeByName(std::string_view name);
std::optional<int> statusBitByName(std::string_view name);

}  // namespace gpibdrv
