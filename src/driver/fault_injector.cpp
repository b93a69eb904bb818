#include "driver/fault_injector.h"

namespace gpibdrv {

FaultInjector::FaultInjector(const std::vector<FaultDef>& faults) {
    for (const auto& f : faults) {
        Live live{&f, {}};
        for (const auto& name : f.calls)
            if (auto id = callByName(name))
                live.calls.set(static_cast<size_t>(*id));
        m_faults.push_back(live);
    }
}

const FaultDef* FaultInjector::match(const CallSite& site) {
    std::lock_guard<std::mutex> hold(m_mutex);
    for (auto& live : m_faults) {
        const FaultDef& f = *live.def;
        if (!live.calls.test(static_cast<size_t>(site.id)))
            continue;
        if (f.board && *f.board != site.board)
            continue;
        if (f.pad && (*f.pad != site.pad || f.sad.value_or(-1) != site.sad))
            continue;
        if (live.seen++ < f.after)
            continue;
        if (f.times >= 0 && live.fired >= f.times)
            continue;
        ++live.fired;
        return &f;
    }
    return nullptr;
}

}  // namespace gpibdrv
