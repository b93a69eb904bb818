#pragma once
// tm-boards: its command line (CLI11), and the command it names run.

namespace boards {

// The process's exit status: 0 done, 1 refused or failed, 2 a bad command line.
int runBoards(int argc, char** argv);

}  // namespace boards
