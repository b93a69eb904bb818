// The start-up figures: process start to the window shown in the ready state,
// and the peak memory of the process, for the program and for the empty-window
// reference, run alternately offscreen on the simulated bench in instant
// timing. Prints two rows of the benchmark table (medians).
//
//   startup_probe <program> <reference> [runs]

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "table.h"

namespace {

struct Sample {
    double readyMs = 0;  // fork to the ready line on standard output
    double maxRssMiB = 0;
    bool ready = false;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

Sample runOnce(const char* program) {
    Sample sample;
    int out[2];
    if (pipe(out) != 0)
        return sample;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0)
            dup2(devNull, STDERR_FILENO);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("TARVEL_MORROW_READY_PROBE", "1", 1);
        setenv("GPIB_SIM_INSTANT", "1", 1);
        unsetenv("GPIB_SIM_BENCH");  // the built-in bench
        unsetenv("GPIB_SIM_TRACE");
        unsetenv("GPIB_LIBRARY");  // found beside the program, as installed
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    if (child < 0) {
        close(out[0]);
        return sample;
    }
    std::string output;
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(out[0], chunk, sizeof chunk);
        if (got <= 0)
            break;
        output.append(chunk, static_cast<size_t>(got));
        if (!sample.ready && output.find("state: ready\n") != std::string::npos) {
            sample.ready = true;
            sample.readyMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
        }
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    sample.maxRssMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
    sample.ready = sample.ready && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return sample;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <program> <reference> [runs]\n", argv[0]);
        return 2;
    }
    const char* program = argv[1];
    const char* reference = argv[2];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 11;

    // One start of each first, to bring both into the page cache.
    if (!runOnce(program).ready || !runOnce(reference).ready) {
        printTableRow({"start-up", "-", "-", 0, "", "a program did not reach the ready state"});
        return 1;
    }
    std::vector<double> oursMs, refMs, oursRss, refRss;
    for (int i = 0; i < runs; ++i) {
        // Alternate which goes first, so neither always follows the other.
        const bool oursFirst = i % 2 == 0;
        Sample a = runOnce(oursFirst ? program : reference);
        Sample b = runOnce(oursFirst ? reference : program);
        Sample& ours = oursFirst ? a : b;
        Sample& ref = oursFirst ? b : a;
        if (!ours.ready || !ref.ready) {
            printTableRow({"start-up", "-", "-", 0, "", "a program did not reach the ready state"});
            return 1;
        }
        oursMs.push_back(ours.readyMs);
        refMs.push_back(ref.readyMs);
        oursRss.push_back(ours.maxRssMiB);
        refRss.push_back(ref.maxRssMiB);
    }

    const std::string of = " (median of " + std::to_string(runs) + ")";
    const double ms = median(oursMs), rms = median(refMs);
    const double rss = median(oursRss), rrss = median(refRss);
    printTableRow({"start-up: process start to ready" + of, formatted("%.1f ms", ms),
                   formatted("%.1f ms empty window", rms), ms / rms, "ratio <= 1.25",
                   verdict(ms / rms <= 1.25)});
    printTableRow({"peak memory: max RSS" + of, formatted("%.1f MiB", rss),
                   formatted("%.1f MiB empty window", rrss), rss / rrss, "ratio <= 1.25",
                   verdict(rss / rrss <= 1.25)});
    return ms / rms <= 1.25 && rss / rrss <= 1.25 ? 0 : 1;
}
