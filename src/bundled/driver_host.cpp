#include "bundled/driver_host.h"

#include "bundled/configuration.h"

namespace bundled {

// The status is read after every driver call, three entry points at a time:
// initial-exec spares each read the __tls_get_addr call of a loaded library
// (the 16 bytes fit the static TLS space glibc keeps for dlopen).
#if defined(__GNUC__) && defined(__ELF__)
#define TM_FAST_TLS __attribute__((tls_model("initial-exec")))
#else
#define TM_FAST_TLS
#endif

ThreadStatus& threadStatus() {
    TM_FAST_TLS thread_local ThreadStatus status;
    return status;
}

int Host::load(const char* pathOrNull) {
    const char* instantEnv = std::getenv("GPIB_SIM_INSTANT");
    const bool instant = instantEnv && std::string(instantEnv) == "1";
    const char* tracePath = std::getenv("GPIB_SIM_TRACE");
    // The old driver goes first: an adapter it holds open is released before
    // the new configuration opens it again.
    driver.reset();
    Configuration c =
        pathOrNull ? benchConfiguration(pathOrNull, instant) : environmentConfiguration(instant);
    trace.open(tracePath ? tracePath : "");
    loaded = true;
    notes.clear();
    for (const auto& n : c.notes) notes += n + "\n";
    description = c.description;
    describeOpenBoard = c.describeOpenBoard;
    driver = std::move(c.driver);
    if (!driver) {
        trace.line("# " + description);
        return -1;
    }
    trace.line("# " + description + (c.instantTiming ? " (instant timing)" : ""));
    // What a board tells between calls (an adapter that changed how it
    // reads) goes into the trace beside the calls.
    for (int index = 0; index < 16; ++index)
        if (const gpibdrv::BoardSetup* setup = driver->setup(index))
            driver->board(index)->setNotices([this, name = setup->name](const std::string& text) {
                trace.line("# " + name + ": " + text);
            });
    if (prepare)
        prepare(*driver);
    return 0;
}

std::string Host::describe() {
    if (!loaded)
        load(nullptr);
    if (!driver || !describeOpenBoard)
        return description;
    int index = driver->lastOpened() >= 0 ? driver->lastOpened() : 0;
    const gpibdrv::BoardSetup* setup = driver->setup(index);
    if (!setup)
        return description;
    return description + "; " + setup->name + ": " + driver->board(index)->describe();
}

namespace {

Host*& hostSlot() {
    static Host* h = new Host;  // no static destructor: no teardown-order surprises
    return h;
}

// Runs when the library is closed (dlclose) or after every static destructor
// at exit, when nothing can call in any more. Without it each close and reopen
// (tests do it for every bench) would leave a whole bench behind.
#if defined(__GNUC__)
__attribute__((destructor)) void releaseHost() {
    delete hostSlot();
    hostSlot() = nullptr;
}
#endif

}  // namespace

Host& host() {
    return *hostSlot();
}

}  // namespace bundled
