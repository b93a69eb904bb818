// The start-up figures: process start to the window shown in the ready state,
// and the peak memory of the process, for the program and for the empty-window
// reference, run in turn offscreen on the simulated bench in instant timing.
// A third program, the empty window with one line of text, shows what any
// window that draws text pays over the empty one. Prints the rows of the
// benchmark table (medians).
//
//   startup_probe <program> <empty window> <text window> [runs]

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
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <program> <empty window> <text window> [runs]\n", argv[0]);
        return 2;
    }
    // 0: the program, 1: the empty window (the reference of the goals),
    // 2: the same window with one line of text.
    const char* programs[3] = {argv[1], argv[2], argv[3]};
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 11;

    // One start of each first, to bring them all into the page cache.
    for (const char* program : programs) {
        if (!runOnce(program).ready) {
            printTableRow({"start-up", "-", "-", 0, "", "a program did not reach the ready state"});
            return 1;
        }
    }
    std::vector<double> ms[3], rss[3];
    for (int i = 0; i < runs; ++i) {
        // Rotate the order, so that none always follows another.
        for (int k = 0; k < 3; ++k) {
            const int which = (i + k) % 3;
            const Sample sample = runOnce(programs[which]);
            if (!sample.ready) {
                printTableRow(
                    {"start-up", "-", "-", 0, "", "a program did not reach the ready state"});
                return 1;
            }
            ms[which].push_back(sample.readyMs);
            rss[which].push_back(sample.maxRssMiB);
        }
    }
    double medianMs[3], medianRss[3];
    for (int k = 0; k < 3; ++k) {
        medianMs[k] = median(ms[k]);
        medianRss[k] = median(rss[k]);
    }

    const std::string of = " (median of " + std::to_string(runs) + ")";
    const auto row = [&](const std::string& figure, int ours, int reference, bool memory,
                         const char* referenceName, bool goal) {
        const double* values = memory ? medianRss : medianMs;
        const char* unit = memory ? "%.1f MiB" : "%.1f ms";
        const double ratio = values[ours] / values[reference];
        printTableRow({figure, formatted(unit, values[ours]),
                       formatted(unit, values[reference]) + " " + referenceName, ratio,
                       goal ? "ratio <= 1.25" : "none: the floor",
                       goal ? verdict(ratio <= 1.25) : "for scale"});
        return ratio <= 1.25;
    };
    const bool timeMet =
        row("start-up: process start to ready" + of, 0, 1, false, "empty window", true);
    const bool memoryMet = row("peak memory: max RSS" + of, 0, 1, true, "empty window", true);
    // What a window pays for showing any text at all, against the same
    // reference; and the program against that floor.
    row("  one line of text: start-up", 2, 1, false, "empty window", true);
    row("  one line of text: peak memory", 2, 1, true, "empty window", true);
    row("  program over one line of text: start-up", 0, 2, false, "one line", false);
    row("  program over one line of text: peak memory", 0, 2, true, "one line", false);
    return timeMet && memoryMet ? 0 : 1;
}
