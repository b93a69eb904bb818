#pragma once
// The texts of tm-gateway --help around its list of options.

#include <string>

namespace gateway {

std::string gatewayDescription(bool emulator);
std::string gatewayFooter(bool emulator);

}  // namespace gateway
