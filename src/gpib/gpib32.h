#pragma once
// The driver module: one wrapper per driver entry point the program calls,
// named after it, and the driver's status after the last call.
//
// Every wrapper converts its arguments (16-bit values widened with sign
// extension; address words passed as 16-bit patterns), calls the entry point,
// then RefreshStatus. Callers test ibsta's ERR bit (0x8000) after each call.
// An entry point that cannot be resolved behaves like a failed call:
// ibsta = ERR, iberr = EDVR (0), counts 0, and Library().Problem() names it.
// While Trace() is on, every wrapper call adds one line to it.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

#include "abi/gpib_abi.h"
#include "gpib/call_trace.h"
#include "gpib/driver_library.h"
#include "text/text.h"

class GPIB32 {
  public:
    explicit GPIB32(DriverLibrary& library);

    // Driver status after the last wrapper call (written only by RefreshStatus).
    int16_t ibsta = 0;
    int16_t iberr = 0;
    int16_t ibcnt = 0;   // low 16 bits of the count
    int32_t ibcntl = 0;  // the full count

    // Program-wide session values owned by the module.
    int16_t BoardIndex = 0;
    int16_t DevAddr = 0;  // bus address word: primary | (0x60 + secondary) << 8
    Text StatusReport;    // the last status report

    int16_t ibask(int16_t ud, int16_t option, int16_t& value);
    int16_t ibconfig(int16_t ud, int16_t option, int16_t value);
    // The driver's result (the new descriptor) lands in ud even on failure.
    int16_t ibdev(int16_t board, int16_t pad, int16_t sad, int16_t tmo, int16_t eot, int16_t eos,
                  int16_t& ud);
    int16_t ibfind(const Text& name);
    int16_t ibfind(const Text& name, int16_t& ud);
    int16_t ibln(int16_t ud, int16_t pad, int16_t sad, int16_t& listen);
    int16_t ibonl(int16_t ud, int16_t value);
    int16_t ibpad(int16_t ud, int16_t pad);
    int16_t ibsre(int16_t ud, int16_t value);
    int16_t ibtmo(int16_t ud, int16_t tmo);

    // Arrays: the driver reads/writes consecutive cells from cell 0.
    void AllSpoll(int16_t board, std::span<int16_t> addrlist, std::span<int16_t> results);
    void DevClear(int16_t board, int16_t addr);
    void FindLstn(int16_t board, std::span<int16_t> padlist, std::span<int16_t> found,
                  int16_t limit);
    void FindRQS(int16_t board, std::span<int16_t> addrlist, int16_t& status);
    void ReadStatusByte(int16_t board, int16_t addr, int16_t& status);
    // Offers the driver buffer.size() bytes; the received bytes replace the
    // first ibcntl characters, the rest keep their contents, the length stays.
    void Receive(int16_t board, int16_t addr, Text& buffer, int16_t termination);
    // eotmode in this program's numbering (2 = EOI with the last byte).
    void Send(int16_t board, int16_t addr, Text& text, int16_t eotmode);
    void SendIFC(int16_t board);
    void TestSRQ(int16_t board, int16_t& result);
    void Trigger(int16_t board, int16_t addr);

    void RefreshStatus();
    // Replaces the heading in text with the complete one-line report built
    // from ibsta, iberr and ibcntl, and keeps a copy in StatusReport.
    void FormatStatusReport(Text& text);

    DriverLibrary& Library() { return m_library; }
    CallTrace& Trace() { return m_trace; }

  private:
    // Entry points are resolved on first use and cached, so a wrapper costs
    // one indirect call plus the status refresh. nullptr: not resolved yet,
    // or missing (then resolving again only repeats the problem sentence).
    template <typename Fn>
    bool bind(Fn& slot, std::initializer_list<const char*> names);
    // ibtmo, ibpad and ibsre are ibconfig options on drivers without them.
    struct ConfigShortcut {
        void* fn = nullptr;
        bool viaConfig = false;
    };
    int16_t callShortcut(ConfigShortcut& slot, const char* name, int option, int16_t ud,
                         int16_t value);
    bool bindStatus();
    // Runs call(); while the trace is on, times it and traces the text
    // describe() makes of it afterwards (arguments and results).
    template <typename Call, typename Describe>
    auto traced(const Call& call, const Describe& describe);
    void finishTrace(int64_t start, int64_t end, std::string text);
    // " -> text" for a call's results; nothing when the driver was not called.
    std::string traceResults(const std::string& text) const;

    // The status of a call that could not be made at all.
    void setStatus(int16_t error);
    void missingEntryPoint() { setStatus(GPIB_EDVR); }
    // What a wrapper with a result answers then: the status word, as ib calls do.
    int16_t missingResult() {
        missingEntryPoint();
        return ibsta;
    }

    DriverLibrary& m_library;
    bool m_swapEndModes = false;  // the library numbers end modes the linux-gpib way
    std::string m_buffer;         // the 8-bit side of text transfers, reused
    CallTrace m_trace;
    // Why the traced call did not reach the driver; nullptr when it did.
    const char* m_refusal = nullptr;

    ibask_fn m_ibask = nullptr;
    ibconfig_fn m_ibconfig = nullptr;
    ibdev_fn m_ibdev = nullptr;
    ibfind_fn m_ibfind = nullptr;
    ibln_fn m_ibln = nullptr;
    ibonl_fn m_ibonl = nullptr;
    ConfigShortcut m_ibpad, m_ibsre, m_ibtmo;
    AllSpoll_fn m_AllSpoll = nullptr;
    DevClear_fn m_DevClear = nullptr;
    FindLstn_fn m_FindLstn = nullptr;
    FindRQS_fn m_FindRQS = nullptr;
    ReadStatusByte_fn m_ReadStatusByte = nullptr;
    Receive_fn m_Receive = nullptr;
    Send_fn m_Send = nullptr;
    SendIFC_fn m_SendIFC = nullptr;
    TestSRQ_fn m_TestSRQ = nullptr;
    Trigger_fn m_Trigger = nullptr;

    bool m_statusBound = false;
    bool m_countIsNarrow = false;  // only ThreadIbcnt: the full count is its int
    ThreadIbsta_fn m_ThreadIbsta = nullptr;
    ThreadIberr_fn m_ThreadIberr = nullptr;
    ThreadIbcnt_fn m_ThreadIbcnt = nullptr;
    ThreadIbcntl_fn m_ThreadIbcntl = nullptr;
};
