#pragma once
// Shared between the control side and the exported entry points of the
// scripted driver; not part of what tests include.

#include <string>
#include <vector>

#include "scripted_driver.h"

namespace scripted::detail {

// An address list that lacks its end word is still read only this far.
inline constexpr int kMaxListCells = 100;

// The outcome for the next call of that entry point: queued, else default.
Outcome Take(const std::string& name);
// Appends the call and makes its status what the thread functions answer.
void Log(Call call, const Outcome& outcome, long ibcntl);

int Ibsta();
int Iberr();
long Ibcntl();

// The cells of an end-terminated address list, the end word included.
std::vector<int> ReadList(const unsigned short* list);

}  // namespace scripted::detail
