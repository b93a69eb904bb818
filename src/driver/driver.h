#pragma once
// The driver above the boards: the descriptors a program opens, each board's
// settings, and every entry point as a method. Each method fills a CallStatus
// the way a driver sets ibsta, iberr and ibcnt for the calling thread. The
// bus work itself is the board's (Board); the traditional calls and the
// IEEE 488.2 routines are built here from its operations, once for every
// kind and for every face (libtm-gpib.so, libgpib.so.0).
//
// Thread-safe: each board has a bus lock held around each call's bus work,
// so calls on one board run one after another in arrival order while other
// boards go on; the descriptor table has a short lock of its own. Waits
// (ibwait, WaitSRQ) let go of the bus between looks, so that a thread
// waiting for SRQ does not hold up the thread that talks to the instrument.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "abi/gpib_abi.h"
#include "driver/board.h"
#include "driver/bus_addressing.h"
#include "driver/bus_lock.h"
#include "driver/fault_injector.h"

namespace gpibdrv {

struct CallStatus {
    int ibsta = 0;
    int iberr = 0;
    bool errorSet = false;  // a call that succeeds leaves iberr as it was
    long count = 0;
    bool countSet = false;  // a call that moves no data leaves the count as it was
    // The descriptor (or a 488.2 routine's board) names neither a board nor
    // an open device: each face answers that its own way.
    bool unknownDescriptor = false;

    void setCount(long n) {
        count = n;
        countSet = true;
    }
    void setError(int err) {
        iberr = err;
        errorSet = true;
    }
};

// What the driver keeps of a board besides its kind: the name ibfind knows
// it by, its index, and the settings that opening it puts back.
struct BoardSetup {
    int index = 0;
    std::string name;  // "GPIB0" unless named
    int pad = 0;
    int sad = 0;
    bool systemController = true;
    bool present = true;   // false: ibfind answers ENEB
    int timeoutCode = 13;  // T10s, the usual driver default
};

// A device ibfind opens by name (the board map's devices: section), with the
// settings ibdev would take.
struct NamedDevice {
    std::string name;
    int board = 0;
    int pad = 0;
    int sad = 0;  // 0 or 0x60-0x7E
    int timeoutCode = 13;
    bool eot = true;
    int eos = 0;  // the EOS byte with REOS, XEOS and BIN
};

// The EOS mode bits beside the EOS byte (ibeos, ibdev).
constexpr int kREOS = 0x400, kXEOS = 0x800, kBIN = 0x1000;

class Driver {
  public:
    Driver();
    virtual ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    void addBoard(const BoardSetup& setup, std::unique_ptr<Board> board);
    void addDevice(const NamedDevice& device) { m_named.push_back(device); }
    // Whether a board is opened by the first call that reaches it (as
    // linux-gpib does) rather than by ibfind alone.
    void setOpenOnFirstUse(bool on) { m_openOnFirstUse = on; }
    // Faults to inject into the calls, matched by board index and address.
    void setFaults(std::vector<FaultDef> faults);
    // The clock the trace measures calls with (the bench's own in instant timing).
    void setClock(std::function<int64_t()> nowUs) { m_nowUs = std::move(nowUs); }
    int64_t nowUs() const { return m_nowUs(); }

    // The board behind an index, or nullptr; and the one ibfind opened last.
    Board* board(int index);
    const BoardSetup* setup(int index) const;
    // Whether ud is a device descriptor open now (ibdev, ibfind).
    bool isOpenDevice(int ud);
    int lastOpened() const { return m_lastOpened.load(); }

    // The traditional calls: a board index or a device descriptor.
    int ibask(int ud, int option, int* value, CallStatus& st);
    int ibbna(int ud, const char* name, CallStatus& st);
    int ibcac(int ud, int synchronous, CallStatus& st);
    int ibclr(int ud, CallStatus& st);
    int ibcmd(int ud, const void* commands, long count, CallStatus& st);
    int ibconfig(int ud, int option, int value, CallStatus& st);
    int ibdev(int board, int pad, int sad, int tmo, int eot, int eos, CallStatus& st);
    int ibdma(int ud, int v, CallStatus& st);
    int ibeos(int ud, int eos, CallStatus& st);
    int ibeot(int ud, int eot, CallStatus& st);
    int ibevent(int ud, short* event, CallStatus& st);
    int ibfind(const char* name, CallStatus& st);
    int ibgts(int ud, int shadow, CallStatus& st);
    int ibist(int ud, int ist, CallStatus& st);
    int iblines(int ud, short* lines, CallStatus& st);
    int ibln(int ud, int pad, int sad, short* listen, CallStatus& st);
    int ibloc(int ud, CallStatus& st);
    int ibonl(int ud, int v, CallStatus& st);
    int ibpad(int ud, int pad, CallStatus& st);
    int ibpct(int ud, CallStatus& st);
    int ibppc(int ud, int v, CallStatus& st);
    int ibrd(int ud, void* buffer, long count, CallStatus& st);
    int ibrdf(int ud, const char* path, CallStatus& st);
    int ibrpp(int ud, char* result, CallStatus& st);
    int ibrsc(int ud, int v, CallStatus& st);
    int ibrsp(int ud, char* result, CallStatus& st);
    int ibrsv(int ud, int statusByte, CallStatus& st);
    int ibrsv2(int ud, int statusByte, int newReason, CallStatus& st);
    int ibsad(int ud, int sad, CallStatus& st);
    int ibsic(int ud, CallStatus& st);
    int ibspb(int ud, short* count, CallStatus& st);
    int ibsre(int ud, int v, CallStatus& st);
    int ibstop(int ud, CallStatus& st);
    int ibtmo(int ud, int tmo, CallStatus& st);
    int ibtrg(int ud, CallStatus& st);
    int ibwait(int ud, int mask, CallStatus& st);
    int ibwrt(int ud, const void* data, long count, CallStatus& st);
    int ibwrtf(int ud, const char* path, CallStatus& st);

    // The IEEE 488.2 routines: a board index and bus address words. End modes
    // are in the numbering of abi/gpib_abi.h.
    void AllSpoll(int board, const Addr4882_t* list, short* results, CallStatus& st);
    void DevClear(int board, Addr4882_t addr, CallStatus& st);
    void DevClearList(int board, const Addr4882_t* list, CallStatus& st);
    void EnableLocal(int board, const Addr4882_t* list, CallStatus& st);
    void EnableRemote(int board, const Addr4882_t* list, CallStatus& st);
    void FindLstn(int board, const Addr4882_t* pads, Addr4882_t* results, int limit,
                  CallStatus& st);
    void FindRQS(int board, const Addr4882_t* list, short* status, CallStatus& st);
    void PassControl(int board, Addr4882_t addr, CallStatus& st);
    void PPoll(int board, short* result, CallStatus& st);
    void PPollConfig(int board, Addr4882_t addr, int line, int sense, CallStatus& st);
    void PPollUnconfig(int board, const Addr4882_t* list, CallStatus& st);
    void RcvRespMsg(int board, void* buffer, long count, int termination, CallStatus& st);
    void ReadStatusByte(int board, Addr4882_t addr, short* status, CallStatus& st);
    void Receive(int board, Addr4882_t addr, void* buffer, long count, int termination,
                 CallStatus& st);
    void ReceiveSetup(int board, Addr4882_t addr, CallStatus& st);
    void ResetSys(int board, const Addr4882_t* list, CallStatus& st);
    void Send(int board, Addr4882_t addr, const void* buffer, long count, int eotmode,
              CallStatus& st);
    void SendCmds(int board, const void* commands, long count, CallStatus& st);
    void SendDataBytes(int board, const void* buffer, long count, int eotmode, CallStatus& st);
    void SendIFC(int board, CallStatus& st);
    void SendList(int board, const Addr4882_t* list, const void* buffer, long count, int eotmode,
                  CallStatus& st);
    void SendLLO(int board, CallStatus& st);
    void SendSetup(int board, const Addr4882_t* list, CallStatus& st);
    void SetRWLS(int board, const Addr4882_t* list, CallStatus& st);
    void TestSRQ(int board, short* result, CallStatus& st);
    void TestSys(int board, const Addr4882_t* list, short* results, CallStatus& st);
    void Trigger(int board, Addr4882_t addr, CallStatus& st);
    void TriggerList(int board, const Addr4882_t* list, CallStatus& st);
    void WaitSRQ(int board, short* result, CallStatus& st);

  private:
    struct BoardState {
        BoardSetup setup;
        std::unique_ptr<Board> board;
        BusLock bus;  // held around each call's bus work
        // A board's serial-poll timeout is configurable like a device's: the
        // window sets it on whatever descriptor it holds, board 0 included.
        int pad = 0, sad = 0, tmo = 13, eos = 0, spollTmo = 11, ppollTmo = 5;
        bool eot = true, sc = true, ren = false, online = true;
        bool autopoll = true, pp2 = false, endBitIsNormal = true;
        int ist = 0, rsv = 0, ppc = 0;
        bool lastEnd = false;  // the last read on the board descriptor ended the message
        bool opened = false;   // ibfind (or a first use) opened it
        // Whom the board-level calls (ibrd, ibwrt, RcvRespMsg, SendDataBytes)
        // reach: what ReceiveSetup, SendSetup and ibcmd addressed.
        BusAddressing addressing;
        // Status bytes the automatic serial polls found, by address.
        std::map<int, std::deque<uint8_t>> queued;
        void reset();
    };
    struct DeviceDesc {
        bool used = false;
        int board = 0, pad = 0, sad = 0, tmo = 0, eot = 1, eos = 0, spollTmo = 11;
        int openedTmo = 0, openedEot = 1, openedEos = 0, openedPad = 0, openedSad = 0;
        int openedBoard = 0;
        bool endBitIsNormal = true;
        bool lastEnd = false;  // the last read on it ended the message
    };
    // What a descriptor names: the board, and a copy of the device's settings
    // (taken under the table lock) when it is a device descriptor.
    struct Target {
        BoardState* board = nullptr;
        std::optional<DeviceDesc> device;
        int ud = -1;
        BusAddress address() const;
    };

    // One call on a descriptor: the fault check, the descriptor, the board's
    // bus held around body(board, target), then the fault's overlay. body
    // fills st.
    template <class Body>
    int onDescriptor(CallId id, int ud, CallStatus& st, Body&& body);
    // One 488.2 routine: the fault check (at the address word, NOADDR for
    // none), the board by index (EDVR/ENEB), its bus held around body(board).
    template <class Body>
    void onBoard(CallId id, int board, Addr4882_t siteAddr, CallStatus& st, Body&& body);

    // Fault handling around a call: returns true when a fault replaced it.
    bool faulted(const CallSite& site, const FaultDef*& fault, CallStatus& st);
    void overlay(const FaultDef& fault, const CallSite& site, CallStatus& st);

    BoardState* findBoard(int index);
    // For the 488.2 routines: the board by index, or fails with EDVR/ENEB.
    BoardState* boardFor(int index, CallStatus& st);
    bool resolve(int ud, Target& t, CallStatus& st);
    // With the bus held: the board opened where a first use opens it, or
    // false with the reason (ENEB) in st.
    bool usable(BoardState& b, CallStatus& st);
    // Changes a device descriptor's settings under the table lock.
    void updateDevice(int ud, const std::function<void(DeviceDesc&)>& change);
    int bits(BoardState& b) { return b.board->statusBits(); }
    bool cic(BoardState& b) { return (bits(b) & GPIB_CIC) != 0; }
    void ok(BoardState& b, CallStatus& st) { st.ibsta = GPIB_CMPL | bits(b); }
    void fail(BoardState* b, int err, CallStatus& st, int extra = 0);
    // A bus operation's outcome: ok, or its error (EABO with TIMO).
    void finish(BoardState& b, int result, CallStatus& st);
    // A device descriptor's status: CMPL, END and RQS only.
    void deviceOk(BoardState& b, const DeviceDesc& d, CallStatus& st, bool end = false);
    // The address word as a bus address, or EARG; ECIC when the board is not
    // controller in charge. -1 when the device may be addressed.
    int addressable(BoardState& b, Addr4882_t addr, BusAddress& out);
    // Trigger and DevClear: the bus message to one device, or without an
    // address to the bus (GET to the listeners, DCL to every device).
    void busMessage(CallId id, int board, Addr4882_t addr, int (Board::*send)(const BusAddress*),
                    CallStatus& st);
    bool pollOne(BoardState& b, Addr4882_t addr, uint8_t& value, CallStatus& st);
    CallSite siteOf(CallId id, int ud);
    static CallSite siteOf(CallId id, int board, Addr4882_t addr);
    // ibconfig, and ibpad and ibtmo, which are ibconfig of one option.
    int configured(CallId id, int ud, int option, int value, CallStatus& st);
    int changeRen(BoardState& b, bool on, CallStatus& st);
    // Setting a board's own address asks the board whether it can: kDone, or
    // its error. Values out of range are left to the setting's own check.
    int ownAddressChange(BoardState& b, int option, int value);
    void doFindLstn(BoardState& b, const Addr4882_t* pads, Addr4882_t* results, int limit,
                    CallStatus& st);
    int openDevice(BoardState& b, const NamedDevice& d, CallStatus& st);

    // Data transfers (driver_io.cpp).
    int readFrom(BoardState& b, BusAddress from, char* dst, long count, int eos, Timeout t,
                 long& got, bool& end);
    int writeTo(BoardState& b, const std::vector<BusAddress>& to, const char* data, long count,
                bool eoi, int eos, Timeout t, long& sent);
    // Command bytes, remembering whom they addressed for board-level I/O.
    int commandBytes(BoardState& b, std::span<const uint8_t> bytes, Timeout t, long& sent);
    // Addressing bytes of the driver's own: sent where the kind takes command
    // bytes, else only remembered.
    int addressBus(BoardState& b, std::span<const uint8_t> bytes);
    // Addresses listeners (UNL, LAD [SAD] ..., the board as talker) or a
    // talker; a board that cannot send command bytes addresses with its
    // next transfer, and the driver remembers whom.
    int addressListeners(BoardState& b, const std::vector<BusAddress>& to);
    int addressTalker(BoardState& b, BusAddress from);
    // An address list up to NOADDR as bus addresses: EARG for a bad word or
    // a list without its end.
    int addressList(BoardState& b, const Addr4882_t* list, std::vector<BusAddress>& out);
    static int addressKey(BusAddress a) { return a.pad * 32 + a.sad + 1; }

    // Waiting (driver_wait.cpp): looks at the board's state until one of the
    // mask's conditions holds or the timeout (code; 0 waits the longest
    // limit) runs out, letting go of the bus between looks.
    int waitFor(BoardState& b, const std::optional<DeviceDesc>& dev, int mask, int tmoCode,
                int& status);
    int statusNow(BoardState& b, const std::optional<DeviceDesc>& dev, bool& srq, int& status);
    // Automatic serial polls: every device open on the board, while SRQ is up.
    int autopoll(BoardState& b);

    std::vector<FaultDef> m_faultDefs;
    std::unique_ptr<FaultInjector> m_faults;
    std::function<int64_t()> m_nowUs;
    std::vector<std::unique_ptr<BoardState>> m_boards;  // fixed once the driver serves
    std::vector<NamedDevice> m_named;
    std::mutex m_table;              // the descriptor table below
    std::deque<DeviceDesc> m_descs;  // descriptor 16 + i
    std::atomic<int> m_lastOpened{-1};
    bool m_openOnFirstUse = false;
};

// The address word's primary and secondary address, when it is one.
bool decodeAddress(Addr4882_t addr, BusAddress& out);

// A data call's buffer and count that no call may take: a negative count, or
// bytes to move and nowhere to move them.
inline bool badBuffer(const void* buffer, long count) {
    return count < 0 || (count > 0 && !buffer);
}

template <class Body>
int Driver::onDescriptor(CallId id, int ud, CallStatus& st, Body&& body) {
    const FaultDef* fault;
    CallSite site = siteOf(id, ud);
    if (faulted(site, fault, st))
        return st.ibsta;
    Target t;
    t.ud = ud;
    if (!resolve(ud, t, st))
        return st.ibsta;
    {
        std::lock_guard<BusLock> hold(t.board->bus);
        if (!usable(*t.board, st))
            return st.ibsta;
        body(*t.board, t);
    }
    if (fault)
        overlay(*fault, site, st);
    return st.ibsta;
}

template <class Body>
void Driver::onBoard(CallId id, int board, Addr4882_t siteAddr, CallStatus& st, Body&& body) {
    const FaultDef* fault;
    CallSite site = siteAddr == GPIB_NOADDR ? CallSite{id, board} : siteOf(id, board, siteAddr);
    if (faulted(site, fault, st))
        return;
    if (BoardState* b = boardFor(board, st)) {
        std::lock_guard<BusLock> hold(b->bus);
        if (!usable(*b, st))
            return;
        body(*b);
    }
    if (fault)
        overlay(*fault, site, st);
}

}  // namespace gpibdrv
