// The simulated instrument's message parser: any bytes from the controller,
// with or without EOI, for each instrument of the built-in bench; the answers
// are read off in reads of any size and with any end-of-string byte.

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/bench_loader.h"
#include "sim/builtin_bench.h"
#include "sim/instrument.h"

#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) {   \
            __builtin_trap(); \
        }                     \
    } while (0)

namespace {

const sim::BenchDefinition& builtIn() {
    static const sim::BenchDefinition bench =
        *sim::loadBenchText(sim::builtinBenchText(), "built-in bench").bench;
    return bench;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const sim::BenchDefinition& bench = builtIn();
    const sim::InstrumentDef& def = bench.instruments[data[0] % bench.instruments.size()];
    sim::Instrument instrument(def, bench.devices[def.device]);
    const int eos = data[1] & 0x80 ? -1 : data[1];
    const size_t readSize = 1 + data[2] % 128;
    data += 3;
    size -= 3;
    // Bytes arrive in two sends; the first without EOI, the last with it.
    const size_t half = size / 2;
    instrument.receiveData(reinterpret_cast<const char*>(data), half, false, 0);
    instrument.receiveData(reinterpret_cast<const char*>(data) + half, size - half, true, 10);
    std::vector<char> buffer(readSize);
    size_t total = 0;
    for (int reads = 0; instrument.hasOutput() && reads < 100000; ++reads) {
        int end = 0;
        const size_t n = instrument.takeOutput(buffer.data(), buffer.size(), eos, end);
        FUZZ_CHECK(n <= buffer.size());
        total += n;
    }
    FUZZ_CHECK(total <= 2 * 1024 * 1024);
    instrument.serialPoll();
    instrument.deviceClear();
    FUZZ_CHECK(!instrument.hasOutput() || !def.clear.clearOutput);
    return 0;
}
