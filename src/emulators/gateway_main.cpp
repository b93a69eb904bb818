// tm-gateway-emulator: the simulated bench served as a VXI-11 LAN/GPIB
// gateway, so that the gateway kind of board and other VXI-11 clients
// (pyvisa-py, lxi-tools) reach a bench without hardware.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "emulators/gateway_options.h"
#include "emulators/gateway_service.h"
#include "emulators/tcp_server.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &byte, 1);
}

void catchSignals() {
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace emulators;
    catchSignals();  // first: a signal during start-up ends it as cleanly as later
    EmulatorOptions options;
    std::string problem;
    if (!parseEmulatorOptions(argc, argv, options, problem)) {
        std::fprintf(stderr, "tm-gateway-emulator: %s\n(--help lists the options)\n",
                     problem.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(emulatorHelp(), stdout);
        return 0;
    }
    ServedBench bench = serveBench(options.benchFile, options.settings.boardIndex, options.instant);
    if (!bench.board) {
        std::fprintf(stderr, "tm-gateway-emulator: %s\n", bench.problem.c_str());
        return 1;
    }
    const std::string source = bench.bus->definition().source;

    Listener core, abort, mapperTcp, mapperUdp;
    if (!core.open(options.listen, options.corePort, SOCK_STREAM, problem) ||
        !abort.open(options.listen, 0, SOCK_STREAM, problem)) {
        std::fprintf(stderr, "tm-gateway-emulator: %s\n", problem.c_str());
        return 1;
    }
    std::string mapperNote;
    if (options.portmapper != Portmapper::Off) {
        if (mapperTcp.open(options.listen, options.portmapperPort, SOCK_STREAM, problem)) {
            mapperUdp.open(options.listen, options.portmapperPort, SOCK_DGRAM, problem);
            mapperNote = "portmapper on " + options.listen + ":" + std::to_string(mapperTcp.port);
        } else if (options.portmapper == Portmapper::Required) {
            std::fprintf(stderr, "tm-gateway-emulator: portmapper: %s\n", problem.c_str());
            return 1;
        } else {
            mapperNote = "no portmapper (" + problem + ")";
        }
    } else {
        mapperNote = "no portmapper";
    }

    GatewayCore gateway(std::move(bench), options.settings);
    GatewayService service(gateway, {core.port, abort.port}, options.fault, options.faultError);
    // One line a test or a board map can take the port from.
    std::printf("core_port: %u  # abort port %u, %s\n", core.port, abort.port, mapperNote.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "tm-gateway-emulator: serving %s as %s on %s\n", source.c_str(),
                 options.settings.interfaceName.c_str(), options.listen.c_str());

    ConnectionThreads threads;
    int nextConnection = 1;
    for (bool running = true; running;) {
        std::vector<pollfd> fds = {
            {g_signalPipe[0], POLLIN, 0}, {core.fd, POLLIN, 0},
            {abort.fd, POLLIN, 0},        {mapperTcp.fd, POLLIN, 0},
            {mapperUdp.fd, POLLIN, 0},    {options.exitOnStdinEof ? 0 : -1, POLLIN, 0}};
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            running = false;
        if (fds[5].revents) {
            char buffer[256];
            running = running && read(0, buffer, sizeof buffer) > 0;
        }
        if (fds[1].revents || fds[2].revents) {
            const int id = nextConnection++;
            for (int i : {1, 2})
                if (fds[size_t(i)].revents)
                    threads.start(accept4(fds[size_t(i)].fd, nullptr, nullptr, SOCK_CLOEXEC),
                                  [&service, &gateway, id](int fd) {
                                      serveStream(fd, [&](RpcCall& c) { service.serve(c, id); });
                                      gateway.connectionClosed(id);
                                  });
        }
        if (fds[3].revents)
            threads.start(accept4(mapperTcp.fd, nullptr, nullptr, SOCK_CLOEXEC),
                          [&service](int fd) {
                              serveStream(fd, [&](RpcCall& c) { service.servePortmapper(c); });
                          });
        if (fds[4].revents)
            serveDatagram(mapperUdp.fd, [&](RpcCall& c) { service.servePortmapper(c); });
    }
    gateway.stop();
    threads.stopAll();
    std::fprintf(stderr, "tm-gateway-emulator: calls: %s\n", service.counts().c_str());
    return 0;
}
