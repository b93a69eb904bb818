#pragma once
// The faults of a bench file at run time: which call fails next. A fault
// names entry points, optionally a board and an address; the first `after`
// matching calls go through, the next `times` ones (or all) fail.

#include <bitset>
#include <mutex>
#include <optional>
#include <vector>

#include <string>

#include "driver/call_id.h"

namespace gpibdrv {

// A fault of a bench file: which entry points fail, where, when, and how.
struct FaultDef {
    std::vector<std::string> calls;  // entry point names
    std::optional<int> board;
    std::optional<int> pad;
    std::optional<int> sad;  // -1: the primary address alone
    long after = 0;          // matching calls that go through first
    long times = -1;         // failures before the fault heals; -1 forever
    std::optional<int> iberr;
    int ibstaBits = 0;
    std::optional<long> count;
    bool perform = false;  // the call takes effect before the fault shows
    int line = 0;
};

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
    // Safe to call from several threads.
    const FaultDef* match(const CallSite& site);

  private:
    struct Live {
        const FaultDef* def;
        std::bitset<kCallIdCount> calls;
        long seen = 0;
        long fired = 0;
    };
    std::vector<Live> m_faults;
    std::mutex m_mutex;  // calls on several boards count at once
};

}  // namespace gpibdrv
