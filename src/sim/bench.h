#pragma once
// A driver whose boards are all those of one simulated bench: what the
// bundled driver serves when no board map names other boards, and what the
// simulated bench's own tests drive directly.

#include <memory>

#include "driver/driver.h"
#include "sim/bench_definition.h"
#include "sim/sim_board.h"

namespace sim {

using gpibdrv::CallStatus;

class Bench : public gpibdrv::Driver {
  public:
    // instantOverride: GPIB_SIM_INSTANT was set, whatever the file says.
    Bench(BenchDefinition definition, bool instantOverride);

    const BenchDefinition& definition() const { return m_bus->definition(); }
    SimClock& clock() { return m_bus->clock(); }
    // The instrument at an address, or nullptr (for tests and the trace).
    Instrument* instrumentAt(const GpibAddress& address) { return m_bus->instrumentAt(address); }

  private:
    std::shared_ptr<SimBus> m_bus;
};

// The driver's description of a board of this bench.
gpibdrv::BoardSetup setupOf(const BoardDef& def);

}  // namespace sim
