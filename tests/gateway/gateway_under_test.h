#pragma once
// The gateway the tests start: tm-gateway-emulator as built, or the program
// that TM_GATEWAY_UNDER_TEST names (to run the hostile clients against
// another build, an older one included). Only options every build of it
// takes are given where a test is meant to run against an older build.

#include <cstdlib>
#include <string>
#include <vector>

#include "gateway_process.h"

namespace gwtest {

inline std::string gatewayUnderTest() {
    const char* other = std::getenv("TM_GATEWAY_UNDER_TEST");
    return other && *other ? other : GATEWAY_EMULATOR;
}

inline std::vector<std::string> options(std::vector<std::string> extra) {
    extra.insert(extra.begin(), "--no-portmapper");
    return extra;
}

}  // namespace gwtest
