// Fixed repetitions of one transaction, for callgrind: unlike times, the
// instructions a transaction costs are the same on every run and every load.
//
//   valgrind --tool=callgrind --toggle-collect='*::repeat*'
//            build-bench/bin/instruction_counts <scenario> [count]
//
// Instructions collected / count = instructions per transaction. Scenarios:
// direct, wrappers (the call layer), bare (what cmdSend_Click calls), handler
// (cmdSend_Click with Auto Query), tick (Timer1_Timer, both loops).

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "bench_window.h"
#include "messaging/command_send.h"
#include "messaging/repeating_loops.h"

namespace {

const std::string kIdnBench = BENCH_FILES "/idn40.yaml";

// What callgrind collects: the loop alone, none of the setting up.
__attribute__((noinline)) void repeat(const std::function<void()>& body, long count) {
    for (long i = 0; i < count; ++i) body();
}

}  // namespace

int main(int argc, char* argv[]) {
    const char* scenario = argc > 1 ? argv[1] : "";
    const long count = argc > 2 ? std::atol(argv[2]) : 10000;
    SimBench& sim = SimBench::get();
    char answer[100];

    if (std::strcmp(scenario, "direct") == 0 || std::strcmp(scenario, "bare") == 0) {
        if (!sim.serve(kIdnBench))
            return 1;
        const bool withStatus = std::strcmp(scenario, "bare") == 0;
        repeat(
            [&] {
                sim.send(0, 8, "*IDN?\n", 6, GPIB_DABend);
                if (withStatus)
                    sim.readStatus();
                sim.receive(0, 8, answer, sizeof answer, '\n');
                if (withStatus)
                    sim.readStatus();
            },
            count);
        return (sim.ibsta() & GPIB_ERR) != 0;
    }
    if (std::strcmp(scenario, "wrappers") == 0) {
        if (!sim.serve(kIdnBench))
            return 1;
        auto library = DriverLibrary::Open(GPIB_SIM_LIBRARY);
        GPIB32 gpib(*library);
        Text query = u"*IDN?\n";
        Text buffer(100, u' ');
        repeat(
            [&] {
                gpib.Send(0, 8, query, GPIB_DABend);
                gpib.Receive(0, 8, buffer, '\n');
            },
            count);
        return (gpib.ibsta & GPIB_ERR) != 0;
    }
    if (std::strcmp(scenario, "handler") == 0 || std::strcmp(scenario, "tick") == 0) {
        BenchWindow bench(kIdnBench);
        if (bench.failed()) {
            std::fprintf(stderr, "%s\n", bench.problem().c_str());
            return 1;
        }
        Window& w = bench.w();
        if (std::strcmp(scenario, "tick") == 0) {
            w.cmdIDNtst.press();
            w.combCmd.setText(u"*IDN?");
            w.cmdCmdtst.press();
            repeat([&] { Timer1_Timer(w); }, count);
            return w.TestHalt != 0;
        }
        w.combCmd.setText(u"*IDN?");
        repeat([&] { cmdSend_Click(w); }, count);
        return w.txtError.visible();
    }
    std::fprintf(stderr, "usage: %s direct|wrappers|bare|handler|tick [count]\n", argv[0]);
    return 2;
}
