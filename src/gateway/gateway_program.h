#pragma once
// tm-gateway and tm-gateway-emulator: the whole program, from the command
// line to the exit status.

namespace gateway {

int runGateway(int argc, char** argv, bool emulator);

}  // namespace gateway
