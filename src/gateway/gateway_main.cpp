// tm-gateway: the boards of the board map shared on the network as a VXI-11
// LAN/GPIB gateway.
#include "gateway/gateway_program.h"

int main(int argc, char** argv) {
    return gateway::runGateway(argc, argv, false);
}
