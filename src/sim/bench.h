#pragma once
// The simulated bus: the boards, the instruments on them, the descriptors a
// program opens, and every driver routine as a method. Each method fills a
// CallStatus the way a real driver sets ibsta, iberr and ibcnt for the
// calling thread. Not thread-safe by itself: the exported entry points hold
// one lock around every call, as one driver serialises its board.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "abi/gpib_abi.h"
#include "sim/bench_definition.h"
#include "sim/fault_injector.h"
#include "sim/instrument.h"
#include "sim/sim_clock.h"

namespace sim {

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

class Bench {
  public:
    // instantOverride: GPIB_SIM_INSTANT was set, whatever the file says.
    Bench(BenchDefinition definition, bool instantOverride);
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    const BenchDefinition& definition() const { return m_def; }
    SimClock& clock() { return m_clock; }
    // The instrument at an address, or nullptr (for tests and the trace).
    Instrument* instrumentAt(const GpibAddress& address);

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
        BoardDef def;
        // A board's serial-poll timeout is configurable like a device's: the
        // window sets it on whatever descriptor it holds, board 0 included.
        int pad = 0, sad = 0, tmo = 13, eos = 0, spollTmo = 11;
        bool eot = true, sc = true, cic = false, ren = false, online = true;
        bool atn = false, talker = false, listener = false;
        Instrument* addressed = nullptr;  // the device last addressed to listen
        std::vector<Instrument*> instruments;
        std::array<int16_t, 31 * 32> slots{};  // instrument index + 1 per pad/sad
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
    int bits(const BoardState& b) const;
    void ok(const BoardState& b, CallStatus& st) const { st.ibsta = GPIB_CMPL | bits(b); }
    void fail(const BoardState* b, int err, CallStatus& st, int extra = 0) const;
    void timeout(BoardState& b, CallStatus& st, long count);
    bool decode(Addr4882_t addr, GpibAddress& out, int board) const;
    Instrument* listenerAt(BoardState& b, const GpibAddress& a);
    int addressedCheck(BoardState& b, Addr4882_t addr, Instrument*& inst);
    void spend(double us);
    int64_t waitLimitUs(const BoardState& b) const;
    bool pollOne(BoardState& b, Addr4882_t addr, uint8_t& value, CallStatus& st);
    CallSite siteOf(CallId id, int ud) const;
    // ibconfig, and ibpad and ibtmo, which are ibconfig of one option.
    int configured(CallId id, int ud, int option, int value, CallStatus& st);
    static CallSite siteOf(CallId id, int board, Addr4882_t addr);

    void doFindLstn(BoardState& b, const Addr4882_t* pads, Addr4882_t* results, int limit,
                    CallStatus& st);
    void doReceive(BoardState& b, Instrument& inst, char* dst, long count, int eos, CallStatus& st);

    BenchDefinition m_def;
    SimClock m_clock;
    FaultInjector m_faults;
    std::vector<std::unique_ptr<Instrument>> m_instruments;
    std::vector<BoardState> m_boards;
    std::vector<DeviceDesc> m_descs;  // descriptor 16 + i
};

}  // namespace sim
