#!/usr/bin/env python3
"""The window through the desktop's accessibility bus (AT-SPI), as a screen
reader or a GUI test tool meets it: on a private X server and D-Bus session,
on the built-in simulated bench, reached only through the bus and real key
and mouse events. Usage: test_atspi_window.py PROGRAM BUNDLED_DRIVER; exits
77 (CTest's skip) where no display server can be started."""
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import pyatspi
    from gi.repository import GLib
except ImportError:
    pyatspi = None

# Each frame's controls: tab index (- takes no focus), role (Button, Check box,
# Radio button, Text, combo boX, Label, Image) and name.
WINDOW = {
    "Controller Name": "1B Set, 2X Controller Name",
    "Controller Address": "4B Set, 5T Controller Address",
    "Device Address": "7B Set, 8T Device Address",
    "REN ": "10C Assert",
    "Device Command": "-L Command Terminators, 12C CR, 13C LF, 14X Device Command, 15B Send",
    "Device Response": "17C Auto Query, 18C Display Byte Count, 19C Display All Characters, "
                       "54C CR Terminator, 55C LF Terminator, 20B Read Device Response, "
                       "21T Device Response",
    "488.1 Commands": "37B Send IFC, 38B Device Clear, 39B Serial Poll, 40B Trigger",
    "488.2 Commands": "42B Find Listeners, 43B All Poll, 44B Find RSQ, 45B Send *RST, "
                      "46B Send  *CLS",
    "IDN Message Loop": "",
    "Device Command Loop": "26B Start Loop, 27B Stop Loop",
    "Device Timeout": "30R 10 mS, 31R 100mS, 32R 1 Sec, 33R 3 Sec, 34R 10 Sec, 35R None",
    "": "-L Tarvel Morrow Utility, 49B Help, 50T Error Message, 23B Run Loop, 24B Stop Loop, "
        "-L Loop Count, 28T Loop Count, -I Tarvel Morrow logo, 47B Exit, 48T Revision",
}
ROLES = {"B": "push button", "C": "check box", "R": "radio button", "T": "text",
         "X": "combo box", "L": "label", "I": "image"}
TAB, SPACE, ENTER, LEFT, RIGHT = 0xFF09, 0x20, 0xFF0D, 0xFF51, 0xFF53


def outside(program, driver):
    missing = [tool for tool in ("Xvfb", "dbus-run-session") if not shutil.which(tool)]
    if missing or pyatspi is None:
        print("SKIP: no display server or bus client (missing %s; Debian packages xvfb, dbus, "
              "at-spi2-core, python3-pyatspi)" % (missing or "pyatspi"))
        return 77
    # One run at a time on this machine, whichever build folder it comes from.
    lock = open(os.path.join(tempfile.gettempdir(), "tarvel-morrow-atspi.lock"), "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    home, (read_end, write_end) = tempfile.mkdtemp(prefix="tm-atspi-"), os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-noreset",
                             "-screen", "0", "1024x768x24"], pass_fds=[write_end],
                            stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        display = pipe.readline().strip()  # nothing when the server could not start
    session = None
    try:
        if not display:
            print("SKIP: no display server could be started (Xvfb exited %s)" % xvfb.wait(5))
            return 77
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("GPIB_", "TARVEL_", "DBUS_", "AT_SPI", "QT_"))}
        # The bundled driver on its built-in bench: no real driver, no board
        # map of the user's, no adapter probed on a serial port.
        env.update(DISPLAY=":" + display, XDG_RUNTIME_DIR=home, QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", GPIB_SIM_INSTANT="1",
                   GPIB_LIBRARY=driver, HOME=home, XDG_CONFIG_HOME=home, GPIB_SERIAL_BY_ID=home)
        if os.path.exists("/etc/tarvel-morrow/boards.yaml"):  # the machine's map: ours instead
            env["GPIB_BOARDS"] = os.path.join(home, "boards.yaml")
            with open(env["GPIB_BOARDS"], "w") as out:
                out.write("boards:\n  GPIB0: {kind: simulated}\n  GPIB1: {kind: simulated}\n")
        session = subprocess.Popen(["dbus-run-session", "--", sys.executable,
                                    os.path.abspath(__file__), program],
                                   env=env, start_new_session=True)
        return session.wait(timeout=150)
    finally:
        if session is not None and session.poll() is None:
            os.killpg(session.pid, 9)  # the checks overran: end them and their buses
        xvfb.terminate()
        xvfb.wait(10)
        shutil.rmtree(home, ignore_errors=True)


def wait_for(what, check, seconds=10):
    deadline = time.monotonic() + seconds
    while True:
        while GLib.MainContext.default().iteration(False):  # deliver the bus's events
            pass
        try:
            if check():
                return
        except Exception:  # noqa: BLE001 (not on the bus yet)
            pass
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def has(acc, state):
    return acc.getState().contains(getattr(pyatspi, "STATE_" + state))


def key(symbol):
    pyatspi.Registry.generateKeyboardEvent(symbol, None, pyatspi.KEY_SYM)


def click(acc, x=None, y=None):
    box = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(box.x + (x or box.width // 2),
                                        box.y + (y or box.height // 2), "b1c")


def press(acc, *keys):
    acc.queryComponent().grabFocus()
    wait_for("the focus on " + acc.name, lambda: has(acc, "FOCUSED"))
    for symbol in keys:
        key(symbol)


def text(acc):
    return acc.queryText().getText(0, -1)


def inside(program):
    began, answers = time.monotonic(), []
    log = open(os.path.join(os.environ["XDG_RUNTIME_DIR"], "program.log"), "w+")
    app = subprocess.Popen([program], stdout=log, stderr=subprocess.STDOUT)

    def lap(what):
        print("%6.2f s  %s" % (time.monotonic() - began, what))

    def window():
        return [w for a in pyatspi.Registry.getDesktop(0) if a and a.name == "tarvel-morrow"
                for w in a if w.getRoleName() == "frame"][0]

    try:
        wait_for("the window on the bus", lambda: any(c.name == "Exit" for c in window()), 60)
        form = window()
        click(form, 4, 4)  # no window manager makes it active: a click on its corner does
        wait_for("the window to be active", lambda: has(form, "ACTIVE"))
        lap("window on the bus")

        found = {}  # (role, name, frame) -> accessibles
        for child in form:
            frame = child.name if child.getRoleName() == "panel" else None
            for acc in [child] + (list(child) if frame is not None else []):
                spot = (acc.getRoleName(), acc.name, "" if acc is child else frame)
                found.setdefault(spot, []).append(acc)
        rows = [(None, "panel", frame, "") for frame in WINDOW if frame]
        rows += [(None if cell[0] == "-" else int(cell.split()[0][:-1]),
                  ROLES[cell.split()[0][-1]], cell.split(" ", 1)[1], frame)
                 for frame, cells in WINDOW.items() for cell in filter(None, cells.split(", "))]
        for tab, role, name, frame in rows:
            assert len(found.get((role, name, frame), [])) == 1, (role, name, frame, found.keys())
        get = {(name, frame): found[role, name, frame][0] for _, role, name, frame in rows}
        error, results = get["Error Message", ""], get["Device Response", "Device Response"]
        assert not has(error, "VISIBLE") and not has(get["Loop Count", ""], "SHOWING")
        assert get["Tarvel Morrow logo", ""].description
        options = list(get["Device Timeout", ""])
        assert [o.getRoleName() for o in options] == ["radio button"] * 6
        assert [o.name for o in options if has(o, "CHECKED")] == ["3 Sec"]
        lap("every control found")

        # Tab visits what can take the focus now, in tab index order, round the end.
        order = [get[name, frame] for tab, _, name, frame in sorted(r for r in rows if r[0])]
        order = [c for c in order if has(c, "ENABLED") and has(c, "SHOWING")]
        press(order[0])
        for control in order[1:] + order[:1]:
            key(TAB)
            wait_for("Tab to reach " + control.name, lambda: has(control, "FOCUSED"), 5)
        lap("tab walk, %d stops" % len(order))

        three, ten = options[3], options[4]
        press(three, RIGHT)
        wait_for("Right to select 10 Sec", lambda: has(ten, "CHECKED") and has(ten, "FOCUSED")
                 and not has(three, "CHECKED"))
        press(ten, LEFT)
        wait_for("Left to select 3 Sec", lambda: has(three, "CHECKED"))
        query = get["Auto Query", "Device Response"]
        for _ in range(2):  # Space clears and ticks it: it ends as start-up left it, ticked
            ticked = has(query, "CHECKED")
            press(query, SPACE)
            wait_for("Space on Auto Query", lambda: has(query, "CHECKED") != ticked)
        assert has(query, "CHECKED")

        pyatspi.Registry.registerEventListener(
            lambda e: answers.append((e.source.name, e.any_data)), "object:text-changed:insert")
        command = get["Device Command", "Device Command"]
        click(command)
        wait_for("a click to focus the command box", lambda: has(command, "FOCUSED"))
        pyatspi.Registry.generateKeyboardEvent(0, "*IDN?", pyatspi.KEY_STRING)
        key(ENTER)
        wait_for("the answer", lambda: text(results).startswith("SIMULATED BENCH,"))
        answer = text(results)
        wait_for("the answer announced", lambda: ("Device Response", answer) in answers, 5)
        lap("*IDN? answered: " + answer)

        # A second read finds nothing to say and times out: Enter pushes Read.
        press(get["Read Device Response", "Device Response"], ENTER)
        wait_for("the error line", lambda: has(error, "SHOWING"))
        report = text(error)
        assert report.startswith("Receive Error") and not has(error, "ENABLED"), report
        wait_for("the report announced", lambda: ("Error Message", report) in answers, 5)
        lap("error line read: " + report.splitlines()[0])
        return 0
    except Exception:
        log.seek(0)
        print("program %s, its output:\n%s" % (app.poll(), log.read()[-3000:]))
        raise
    finally:
        app.kill()
        app.wait()


if __name__ == "__main__":
    if len(sys.argv) == 2:
        sys.exit(inside(sys.argv[1]))
    sys.exit(outside(sys.argv[1], sys.argv[2]) if len(sys.argv) == 3 else __doc__)
