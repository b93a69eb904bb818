#include "session/exit.h"

void cmdExit_Click(Window& w) {
    // The program ends with this event; a tick the toolkit still delivers on
    // the way out must not start one more transaction with the board.
    w.Timer1.setEnabled(false);
    w.platform.quit();
}
