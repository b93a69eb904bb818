// One tick of both loops with the driver-call window open: the tick's calls
// traced into the feed, the window appending them and repainting, as it does
// on its own timer. Measured against the same tick with the trace off.

#include <benchmark/benchmark.h>

#include <QApplication>

#include "bench_window.h"
#include "messaging/repeating_loops.h"
#include "qt/trace_lines_view.h"
#include "qt/trace_window.h"

namespace {

// The application lives as long as the process; benchmarks come and go.
void ensureApplication() {
    static int argc = 1;
    static char name[] = "tm_bench";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
    }
}

void LoopTick_TraceWindow(benchmark::State& state) {
    ensureApplication();
    BenchWindow bench(BENCH_FILES "/idn40.yaml");
    if (bench.failed())
        return state.SkipWithError(bench.problem().c_str());
    Window& w = bench.w();
    TraceWindow window(w.gpib.Trace());
    window.open();
    w.cmdIDNtst.press();
    w.combCmd.setText(u"*IDN?");
    w.cmdCmdtst.press();
    if (w.IDNTestFlg != 1 || w.CMDloopFlg != 1)
        return state.SkipWithError("the loops did not start");
    for (auto _ : state) {
        Timer1_Timer(w);
        window.appendPending();
        QCoreApplication::processEvents();
    }
    if (w.TestHalt != 0 || w.txtError.visible() || window.lines()->lineCount() < 4)
        state.SkipWithError("the loops halted or the window showed nothing");
    window.close();
}
BENCHMARK(LoopTick_TraceWindow);

}  // namespace
