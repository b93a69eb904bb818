#pragma once
// The board map's devices: section, the names ibfind opens as device
// descriptors instead of a gpib.conf:
//
//   devices:
//     dmm: {board: GPIB0, pad: 9, sad: 2, timeout: T3s, eos: 0x0a, reos: true, eot: true}
//
// board names a board of the map; pad 0-30; sad 0-30 (absent: none); timeout
// a code name (T10us ... T1000s, TNONE) or its number 0-17 (T10s when absent);
// eos the end-of-string byte, or ibdev's whole EOS word, with reos, xeos and
// bin to add its mode bits; eot whether writes end with EOI (true when absent).

#include <yaml-cpp/yaml.h>

#include "bundled/board_map.h"
#include "sim/yaml_reader.h"

namespace bundled {

// Reads the section into map.devices (after map.boards), refusing a bad
// entry with its line and reason.
void loadDevices(sim::YamlReader& r, const YAML::Node& node, BoardMap& map);

}  // namespace bundled
