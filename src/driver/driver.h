#pragma once
// The driver above the boards: the descriptors a program opens, each board's
// settings, and every entry point as a method. Each method fills a CallStatus
// the way a driver sets ibsta, iberr and ibcnt for the calling thread. The
// bus work itself is the board's (Board); the IEEE 488.2 routines are built
// here from its operations, once for every kind. Not thread-safe by itself:
// the exported entry points hold one lock around every call, as one driver
// serialises its boards.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "abi/gpib_abi.h"
#include "driver/board.h"
#include "driver/fault_injector.h"

namespace gpibdrv {

struct CallStatus {
    int ibsta = 0;
    int iberr = 0;
    bool errorSet = false;  // a call that succeeds leaves iberr as it was
    long count = 0;
    bool countSet = false;  // a call that moves no data leaves the count as it was

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

class Driver {
  public:
    Driver();
    virtual ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    void addBoard(const BoardSetup& setup, std::unique_ptr<Board> board);
    // Faults to inject into the calls, matched by board index and address.
    void setFaults(std::vector<FaultDef> faults);
    // The clock the trace measures calls with (the bench's own in instant timing).
    void setClock(std::function<int64_t()> nowUs) { m_nowUs = std::move(nowUs); }
    int64_t nowUs() const { return m_nowUs(); }

    // The board behind an index, or nullptr; and the one ibfind opened last.
    Board* board(int index);
    const BoardSetup* setup(int index) const;
    int lastOpened() const { return m_lastOpened; }

    int ibask(int ud, int option, int* value, CallStatus& st);
    int ibconfig(int ud, int option, int value, CallStatus& st);
    int ibdev(int board, int pad, int sad, int tmo, int eot, int eos, CallStatus& st);
    int ibfind(const char* name, CallStatus& st);
    int ibln(int ud, int pad, int sad, short* listen, CallStatus& st);
    int ibonl(int ud, int v, CallStatus& st);
    int ibpad(int ud, int pad, CallStatus& st);
    int ibsre(int ud, int v, CallStatus& st);
    int ibtmo(int ud, int tmo, CallStatus& st);
    void AllSpoll(int board, const Addr4882_t* list, short* results, CallStatus& st);
    void DevClear(int board, Addr4882_t addr, CallStatus& st);
    void FindLstn(int board, const Addr4882_t* pads, Addr4882_t* results, int limit,
                  CallStatus& st);
    void FindRQS(int board, const Addr4882_t* list, short* status, CallStatus& st);
    void ReadStatusByte(int board, Addr4882_t addr, short* status, CallStatus& st);
    void Receive(int board, Addr4882_t addr, void* buffer, long count, int termination,
                 CallStatus& st);
    void Send(int board, Addr4882_t addr, const void* buffer, long count, int eotmode,
              CallStatus& st);
    void SendIFC(int board, CallStatus& st);
    void TestSRQ(int board, short* result, CallStatus& st);
    void Trigger(int board, Addr4882_t addr, CallStatus& st);

  private:
    struct BoardState {
        BoardSetup setup;
        std::unique_ptr<Board> board;
        // A board's serial-poll timeout is configurable like a device's: the
        // window sets it on whatever descriptor it holds, board 0 included.
        int pad = 0, sad = 0, tmo = 13, eos = 0, spollTmo = 11;
        bool eot = true, sc = true, ren = false, online = true;
        void reset();
    };
    struct DeviceDesc {
        bool used = false;
        int board = 0, pad = 0, sad = 0, tmo = 0, eot = 1, eos = 0, spollTmo = 11;
        int openedTmo = 0, openedEot = 1, openedEos = 0;
    };
    struct Target {
        BoardState* board = nullptr;
        DeviceDesc* device = nullptr;  // nullptr: a board descriptor
    };

    // Fault handling around a call: returns true when a fault replaced it.
    bool faulted(const CallSite& site, const FaultDef*& fault, CallStatus& st);
    void overlay(const FaultDef& fault, const CallSite& site, CallStatus& st);

    BoardState* findBoard(int index);
    // For the 488.2 routines: the board by index, or fails with EDVR/ENEB.
    BoardState* boardFor(int index, CallStatus& st);
    bool resolve(int ud, Target& t, CallStatus& st);
    int bits(BoardState& b) { return b.board->statusBits(); }
    bool cic(BoardState& b) { return (bits(b) & GPIB_CIC) != 0; }
    void ok(BoardState& b, CallStatus& st) { st.ibsta = GPIB_CMPL | bits(b); }
    void fail(BoardState* b, int err, CallStatus& st, int extra = 0);
    // A bus operation's outcome: ok, or its error (EABO with TIMO).
    void finish(BoardState& b, int result, CallStatus& st);
    // The address word as a bus address, or EARG; ECIC when the board is not
    // controller in charge. -1 when the device may be addressed.
    int addressable(BoardState& b, Addr4882_t addr, BusAddress& out);
    // Trigger and DevClear: the bus message to one device, or without an
    // address to the bus (GET to the listeners, DCL to every device).
    void busMessage(CallId id, int board, Addr4882_t addr, int (Board::*send)(const BusAddress*),
                    CallStatus& st);
    bool pollOne(BoardState& b, Addr4882_t addr, uint8_t& value, CallStatus& st);
    CallSite siteOf(CallId id, int ud) const;
    static CallSite siteOf(CallId id, int board, Addr4882_t addr);
    // ibconfig, and ibpad and ibtmo, which are ibconfig of one option.
    int configured(CallId id, int ud, int option, int value, CallStatus& st);
    int changeRen(BoardState& b, bool on, CallStatus& st);
    // Setting a board's own address asks the board whether it can: kDone, or
    // its error. Values out of range are left to the setting's own check.
    int ownAddressChange(BoardState& b, int option, int value);
    void doFindLstn(BoardState& b, const Addr4882_t* pads, Addr4882_t* results, int limit,
                    CallStatus& st);

    std::vector<FaultDef> m_faultDefs;
    std::unique_ptr<FaultInjector> m_faults;
    std::function<int64_t()> m_nowUs;
    std::vector<BoardState> m_boards;
    std::vector<DeviceDesc> m_descs;  // descriptor 16 + i
    int m_lastOpened = -1;
};

// The address word's primary and secondary address, when it is one.
bool decodeAddress(Addr4882_t addr, BusAddress& out);

}  // namespace gpibdrv
