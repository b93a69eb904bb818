#pragma once
// The simulated bench as boards of the driver: SimBus holds what a bench file
// describes (the instruments, bus time), SimBoard is one of its controller
// boards with the bus state it sees (controller in charge, ATN, who talks and
// listens, REN) and does each bus operation on the simulated instruments.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "driver/board.h"
#include "driver/bus_addressing.h"
#include "sim/bench_definition.h"
#include "sim/instrument.h"
#include "sim/sim_clock.h"

namespace sim {

class SimBus {
  public:
    // instantOverride: GPIB_SIM_INSTANT was set, whatever the file says.
    SimBus(BenchDefinition definition, bool instantOverride);
    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    const BenchDefinition& definition() const { return m_def; }
    SimClock& clock() { return m_clock; }
    // The instrument at an address, or nullptr.
    Instrument* instrumentAt(const GpibAddress& address);
    // The instruments of one board, in the order of the file.
    std::vector<Instrument*> instrumentsOn(int board);

    // Bus time: waits (or, in instant timing, moves the clock on).
    void spend(double us);
    // How long an operation with this timeout waits before giving up.
    int64_t waitLimitUs(gpibdrv::Timeout t) const;
    // The lock of one bench board's instruments: two boards of a board map
    // may serve the same bench board, and the driver locks each of its own
    // boards, not the bench. Boards of a bench share nothing else but the
    // clock, which may be used from several threads.
    std::recursive_mutex& instrumentsLock(int board) { return *m_locks.at(board); }

  private:
    BenchDefinition m_def;
    SimClock m_clock;
    std::vector<std::unique_ptr<Instrument>> m_instruments;
    std::map<int, std::unique_ptr<std::recursive_mutex>> m_locks;  // by bench board
};

class SimBoard final : public gpibdrv::Board {
  public:
    SimBoard(std::shared_ptr<SimBus> bus, const BoardDef& def);

    std::string describe() const override;
    int statusBits() override;
    int setOwnAddress(int, int) override { return gpibdrv::kDone; }
    int send(gpibdrv::BusAddress to, const char* data, long count, gpibdrv::EndMode end,
             gpibdrv::Timeout t, long& sent) override;
    int receive(gpibdrv::BusAddress from, char* dst, long count, int eos, gpibdrv::Timeout t,
                long& got, int& ended) override;
    int serialPoll(gpibdrv::BusAddress device, gpibdrv::Timeout t, uint8_t& status) override;
    int trigger(const gpibdrv::BusAddress* device) override;
    int clear(const gpibdrv::BusAddress* device) override;
    int interfaceClear() override;
    int remoteEnable(bool on) override;
    int listens(gpibdrv::BusAddress device, bool& listening) override;
    int findListeners(std::span<const int> pads, size_t stopAfter,
                      std::vector<gpibdrv::BusAddress>& found) override;
    int srqLine(bool& asserted) override;
    int command(std::span<const uint8_t> bytes, gpibdrv::Timeout t, long& sent) override;
    int lines(int& state) override;
    int waitSrq(gpibdrv::Timeout t, bool& asserted) override;
    void interrupt() override;
    void clearInterrupt() override;
    int parallelPoll(gpibdrv::Timeout t, uint8_t& result) override;
    int setAtn(bool asserted) override;
    int64_t clockUs() override { return m_bus->clock().nowUs(); }
    void pauseUntilUs(int64_t us) override { m_bus->clock().waitUntil(us); }

  private:
    // Waits on the bench's clock until us: false, at once, when interrupted.
    bool waitUntil(int64_t us);
    Instrument* listenerAt(const gpibdrv::BusAddress& a);
    // Addresses the device for a bus message: ENOL when nobody listens there.
    int address(const gpibdrv::BusAddress& a, Instrument*& inst);
    // The controller takes the bus back: ATN, the board neither talks nor
    // listens.
    void takeControl() {
        m_atn = true;
        m_addressing.setOwn(false, false);
    }
    // One command byte sent with ATN: what it addresses or tells the devices.
    void commandByte(uint8_t byte);
    // The instruments the command bytes addressed to listen.
    std::vector<Instrument*> addressedListeners();

    using Hold = std::lock_guard<std::recursive_mutex>;

    std::shared_ptr<SimBus> m_bus;
    std::recursive_mutex& m_lock;  // the bench board's, see SimBus
    BoardDef m_def;
    bool m_cic = false, m_atn = false, m_ren = false;
    Instrument* m_addressed = nullptr;  // the device last addressed to listen
    // Who talks and listens: what command bytes left on the bus, and the
    // board itself as its own transfers leave it.
    gpibdrv::BusAddressing m_addressing;
    bool m_ppcPending = false;  // PPC came: PPE and PPD bytes follow
    std::vector<Instrument*> m_instruments;
    std::array<Instrument*, 31 * 32> m_slots{};  // per pad/sad (sad -1 first)
    // What interrupt() raises for the waits in progress, from another thread.
    std::mutex m_waitLock;
    std::condition_variable m_wake;
    std::atomic<bool> m_interrupted{false};
};

}  // namespace sim
