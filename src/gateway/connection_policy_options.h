#pragma once
// The connection policy's options on tm-gateway's command line, one block,
// each with its default in --help.

#include <CLI/CLI.hpp>

#include "gateway/connection_policy.h"

namespace gateway {

void addPolicyOptions(CLI::App& app, ConnectionPolicy& policy);

}  // namespace gateway
