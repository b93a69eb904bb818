#pragma once
// Everything the operator can see of the window and everything the session
// keeps, as named values, so a test can state what an action changed and
// check that nothing else did.

#include <map>
#include <string>
#include <vector>

#include "window/window.h"

// "txtError.text" -> "...", "cmdSet.enabled" -> "1", "FoundFlg" -> "0", ...
using Snapshot = std::map<std::string, std::string>;

// One expected value after an action: the field and what it must hold; "?"
// lets the field change to anything (a descriptor the driver hands out).
struct Change {
    std::string field;
    std::string value;
};
using Changes = std::vector<Change>;

Snapshot TakeSnapshot(const Window& w);

// Empty when after holds exactly the changes and equals before everywhere
// else; otherwise one line per difference, for the failure message.
std::string CompareSnapshots(const Snapshot& before, const Snapshot& after, const Changes& changes);

// The found list as the polls read it: the words up to the first -1.
std::string FoundListText(const Window& w);
