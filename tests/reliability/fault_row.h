#pragma once
// One row of the fault matrix: a bench with a fault in it, what brings the
// window to the moment before the failing action, the action, and everything
// the action may change. Whatever a row does not name must stay as it was.

#include <ostream>
#include <string>
#include <vector>

#include "reliability/sim_window.h"

struct FaultRow {
    std::string name;
    // The lines of the bench's gpib section (see BenchText).
    std::string gpib;
    // Runs after a start-up; nullptr for the rows whose action is start-up.
    void (*arrange)(SimWindow&) = nullptr;
    // The failing action; nullptr: start-up on a window fresh from creation.
    void (*act)(SimWindow&) = nullptr;
    Changes changes;
    int beeps = 0;
};

std::vector<FaultRow> StartUpRows();
std::vector<FaultRow> SelectionRows();
std::vector<FaultRow> DeviceAddressRows();
std::vector<FaultRow> TimeoutRenRows();
std::vector<FaultRow> MessagingRows();
std::vector<FaultRow> LoopRows();
std::vector<FaultRow> ListenerRows();
std::vector<FaultRow> PollRows();
std::vector<FaultRow> BusCommandRows();

// The report shown, visible, in the error box.
inline Changes ErrorBox(const std::string& text) {
    return {{"txtError.text", text}, {"txtError.visible", "1"}};
}

// Rows print as their names in test output.
inline void PrintTo(const FaultRow& row, std::ostream* out) {
    *out << row.name;
}

inline Changes operator+(Changes a, const Changes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
