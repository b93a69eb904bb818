#pragma once
// One row of the benchmark table, the same for every figure and every
// benchmark program, so scripts/bench.sh prints the rows of all of them as one
// table.

#include <cstdio>
#include <string>

struct TableRow {
    std::string figure;
    std::string ours;
    std::string reference;
    double ratio = 0;  // ours / reference; 0 leaves the column empty
    std::string goal;
    std::string result;  // "met", "MISSED", or a note
};

inline void printTableHeader() {
    std::printf("%-52s %14s %22s %7s  %-16s %s\n", "figure", "ours", "reference", "ratio", "goal",
                "result");
    std::printf("%s\n", std::string(128, '-').c_str());
}

inline void printTableRow(const TableRow& row) {
    char ratio[32] = "";
    if (row.ratio > 0)
        std::snprintf(ratio, sizeof ratio, "%.3f", row.ratio);
    std::printf("%-52s %14s %22s %7s  %-16s %s\n", row.figure.c_str(), row.ours.c_str(),
                row.reference.c_str(), ratio, row.goal.c_str(), row.result.c_str());
    std::fflush(stdout);
}

inline std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

inline const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}
