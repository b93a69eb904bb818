#include "gateway/gateway_program.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "abi/bundled_driver.h"
#include "bundled/configuration.h"
#include "gateway/gateway_options.h"
#include "gateway/gateway_presence.h"
#include "gateway/gateway_server.h"
#include "gateway/gateway_service.h"
#include "gateway/privileges.h"

namespace gateway {

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
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

// The boards to serve: the bench's, or the board map's.
bundled::Configuration configure(const GatewayOptions& o, std::string& problem) {
    if (o.serveBench)
        return bundled::benchConfiguration(o.benchFile, o.instant);
    const std::string map = o.boardsFile.empty() ? bundled_driver::boardMapPath() : o.boardsFile;
    if (map.empty()) {
        problem =
            "no board map: name one with --boards FILE or $GPIB_BOARDS, put one in "
            "~/.config/tarvel-morrow/boards.yaml or /etc/tarvel-morrow/boards.yaml, or "
            "serve a simulated bench with --bench FILE";
        return {};
    }
    return bundled::boardMapConfiguration(map, o.instant);
}

// What inst0, the page and the announcements call the gateway.
IdentityFields identity() {
    char host[256] = "";
    if (gethostname(host, sizeof host - 1) != 0 || !*host)
        std::snprintf(host, sizeof host, "localhost");
    IdentityFields id;
    id.serial = host;
    id.version = TM_VERSION;
    return id;
}

}  // namespace

int runGateway(int argc, char** argv, bool emulator) {
    catchSignals();  // first: a signal during start-up ends it as cleanly as later
    const std::string program = emulator ? "tm-gateway-emulator" : "tm-gateway";
    std::mutex logLock;
    auto log = [&](const std::string& line) {
        std::lock_guard<std::mutex> hold(logLock);
        std::fprintf(stderr, "%s: %s\n", program.c_str(), line.c_str());
    };
    GatewayOptions o;
    if (int status = parseGatewayOptions(argc, argv, emulator, o); status >= 0)
        return status;
    ServerSettings server;
    server.listen = o.listen;
    server.corePort = o.corePort;
    server.portmapper = o.portmapper;
    server.portmapperPort = o.portmapperPort;
    server.policy = o.policy;
    server.log = log;
    if (!o.allow.empty()) {
        server.allow = net::AllowList();
        for (const std::string& block : o.allow) {
            std::string why;
            if (!server.allow.add(block, why)) {
                std::fprintf(stderr, "%s: --allow: %s\n(--help lists the options)\n",
                             program.c_str(), why.c_str());
                return 2;
            }
        }
    }

    std::string problem;
    bundled::Configuration config = configure(o, problem);
    if (!config.driver) {
        log(problem.empty() ? config.description : problem);
        return 1;
    }
    for (const std::string& note : config.notes) log(note);
    std::vector<BoardEntry> boards;
    std::string names;
    for (int i = 0; i <= 15; ++i)
        if (gpibdrv::Board* b = config.driver->board(i)) {
            const gpibdrv::BoardSetup* setup = config.driver->setup(i);
            boards.push_back({i, setup->name, b, setup->pad});
            names += (names.empty() ? "" : ", ") + setup->name + " as gpib" + std::to_string(i);
        }
    const IdentityFields id = identity();
    GatewayCore core(std::move(boards), {o.maxRecvSize, o.inst0, log, id});

    GatewayServer sockets(server);
    Presence presence({o.listen, o.httpPort, o.announce, server.allow, id, log}, core, sockets);
    if (!sockets.bind(problem) || !presence.bind(problem)) {
        log(problem);
        return 1;
    }
    // The boards open while the process may still be root: a serial device
    // the service user could not open (a pseudo-terminal of root's, say)
    // stays open once it is. Opening them again later (an adapter unplugged
    // and back) takes the user's groups, the devices' own kept among them.
    core.openBoards();
    std::string done;
    if (!dropPrivileges(o.user, config.devices, done, problem)) {
        log(problem);
        return 1;
    }
    log(done);
    GatewayService service(core, sockets.ports(), o.maxRecvSize, o.fault, o.faultError);
    if (!presence.start(service, problem)) {
        log(problem);
        return 1;
    }
    // One line a test or a board map can take the port from.
    const std::string page =
        presence.httpPort() ? ", page on port " + std::to_string(presence.httpPort()) : "";
    std::printf("core_port: %u  # abort port %u, %s%s\n", sockets.ports().core,
                sockets.ports().abort, sockets.portmapperNote().c_str(), page.c_str());
    std::fflush(stdout);
    log("serving " + config.description + " (" + names + ") on " + o.listen + " to clients from " +
        server.allow.describe());

    sockets.run(service, core, g_signalPipe[0], o.exitOnStdinEof);
    presence.stop();
    core.stop();
    sockets.shutDown();
    log("calls: " + service.counts());
    return 0;
}

}  // namespace gateway
