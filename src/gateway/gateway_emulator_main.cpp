// tm-gateway-emulator: tm-gateway serving a simulated bench, so that the
// gateway kind of board and other VXI-11 clients reach a bench without
// hardware.
#include "gateway/gateway_program.h"

int main(int argc, char** argv) {
    return gateway::runGateway(argc, argv, true);
}
