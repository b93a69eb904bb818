#include "session/exit.h"

void cmdExit_Click(Window& w) {
    w.platform.quit();
}
