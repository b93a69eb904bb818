// tm-boards: the boards of the bundled driver listed, found and set up
// without writing YAML.
#include "boards/boards_program.h"

int main(int argc, char** argv) {
    return boards::runBoards(argc, argv);
}
