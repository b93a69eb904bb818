#pragma once
// The faults of a bench file at run time: which call fails next. A fault
// names entry points, optionally a board and an address; the first `after`
// matching calls go through, the next `times` ones (or all) fail.

#include <vector>

#include "sim/bench_definition.h"
#include "sim/call_id.h"

namespace sim {

// What a call is about, for matching: the board it works on and, when it
// addresses one device, that device (sad -1 for a primary address alone).
struct CallSite {
    CallId id;
    int board = -1;
    int pad = -1;
    int sad = -1;
};

class FaultInjector {
  public:
    explicit FaultInjector(const std::vector<FaultDef>& faults);

    // The fault this call meets, or nullptr; counts the call either way.
    const FaultDef* match(const CallSite& site);

  private:
    struct Live {
        const FaultDef* def;
        unsigned calls;  // bit per CallId
        long seen = 0;
        long fired = 0;
    };
    std::vector<Live> m_faults;
};

}  // namespace sim
