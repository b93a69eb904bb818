#pragma once
// Reads our own top-level "gpib" section of a bench file: boards, the
// per-instrument GPIB settings, timing and injected faults. The
// device-definition format has no words for these; it leaves this key alone.

#include <string>
#include <string_view>

#include "sim/bench_definition.h"
#include "sim/yaml_reader.h"

namespace sim {

// "GPIB0::9::INSTR", "GPIB::9::INSTR", "GPIB1::7::2::INSTR" (any case).
// Returns nothing for a resource of another interface (serial, USB, TCP/IP)
// and for a board resource (INTFC); refuses a GPIB INSTR resource whose
// address is malformed or out of range, with the reason in error.
struct ParsedResource {
    bool gpib = false;        // a GPIB resource at all
    bool instrument = false;  // an INSTR resource with a good address
    GpibAddress address;
    std::string error;  // set when a GPIB INSTR resource is malformed
};
ParsedResource parseResource(std::string_view name);

// Text of an address as the messages write it: "GPIB0::9", "GPIB0::7::2".
std::string addressText(const GpibAddress& address);

// Reads boards, instrument settings (keyed by resource, applied to
// bench.instruments) and faults into bench.
void loadGpibSection(YamlReader& reader, const YAML::Node& node, BenchDefinition& bench);

}  // namespace sim
