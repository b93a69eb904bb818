#include "sim/bench.h"

namespace sim {

gpibdrv::BoardSetup setupOf(const BoardDef& def) {
    return {def.index,   def.name,       def.pad, def.sad, def.systemController,
            def.present, def.timeoutCode};
}

Bench::Bench(BenchDefinition definition, bool instantOverride)
    : m_bus(std::make_shared<SimBus>(std::move(definition), instantOverride)) {
    for (const auto& bd : m_bus->definition().boards)
        addBoard(setupOf(bd), std::make_unique<SimBoard>(m_bus, bd));
    setFaults(m_bus->definition().faults);
    setClock([bus = m_bus.get()] { return bus->clock().nowUs(); });
}

}  // namespace sim
