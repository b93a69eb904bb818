#pragma once
// Reads one instrument definition of the device-definition format: eom,
// error, delimiter, dialogues and properties.

#include <string>

#include "sim/bench_definition.h"
#include "sim/yaml_reader.h"

namespace sim {

DeviceDef loadDevice(YamlReader& reader, const std::string& name, const YAML::Node& node);

// A scalar the way the format's own loader types it: plain 5 is an int,
// 5.0 a float, quoted '5' a text.
Value scalarValue(const YAML::Node& node);

}  // namespace sim
