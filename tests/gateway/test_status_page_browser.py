#!/usr/bin/python3
"""The gateway's status page in a real browser (Debian's chromium, headless).

    test_status_page_browser.py TM_GATEWAY_EMULATOR [--screenshot FILE]

tm-gateway-emulator serves the built-in bench with --http; a client of the
test's own holds a locked link. Chromium loads the page, the test presses
"Find listeners" on gpib0 and checks the instruments it lists, clicks gpib0,9
and checks its *IDN? answer, and checks the client and its lock. With
--screenshot the page is saved as a PNG (docs/status-page.png is made so).

Chromium is driven over --remote-debugging-pipe (the DevTools protocol on
two pipes, no port of its own). Run as root, everything runs in a network
namespace of its own that has loopback alone, so neither the gateway nor
the browser can reach anything else; otherwise on the machine's loopback,
with every name lookup of the browser's refused. Skipped (exit code 77)
without chromium.
"""
import base64
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
failures = []


def check(what, got, expected):
    if got != expected:
        failures.append(f"{what}: got {got!r}, expected {expected!r}")


class Browser:
    """Chromium, headless, and the DevTools protocol over its pipes."""

    def __init__(self, chromium, profile, log):
        to_read, self.to = os.pipe()
        self.frm, from_write = os.pipe()
        flags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1", f"--user-data-dir={profile}",
                 "--remote-debugging-pipe", "about:blank"]
        # The protocol is read from descriptor 3 and written to 4.
        self.proc = subprocess.Popen(
            ["bash", "-c", f'exec "$@" 3<&{to_read} 4>&{from_write}', "chromium", chromium, *flags],
            pass_fds=(to_read, from_write), stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        os.close(to_read)
        os.close(from_write)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        self.session = None

    def send(self, method, params=None, session=True, timeout=10):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session and self.session:
            message["sessionId"] = self.session
        os.write(self.to, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            reply = self.receive(deadline)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self.events.append(reply)

    def receive(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.frm], [], [], left)[0]:
                raise TimeoutError("chromium did not answer in time")
            chunk = os.read(self.frm, 65536)
            if not chunk:
                raise RuntimeError("chromium went away")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def open(self, url):
        target = self.send("Target.createTarget", {"url": "about:blank"}, session=False)
        self.session = self.send("Target.attachToTarget",
                                 {"targetId": target["targetId"], "flatten": True},
                                 session=False)["sessionId"]
        self.send("Emulation.setDeviceMetricsOverride",
                  {"width": 1100, "height": 1000, "deviceScaleFactor": 1, "mobile": False})
        self.send("Page.navigate", {"url": url})

    def value(self, expression):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, what, expression, expected, timeout=10):
        deadline = time.monotonic() + timeout
        got = None
        while time.monotonic() < deadline:
            got = self.value(expression)
            if got == expected:
                return True
            time.sleep(0.1)
        check(what, got, expected)
        return False

    def screenshot(self, path):
        shot = self.send("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True})
        with open(path, "wb") as f:
            f.write(base64.b64decode(shot["data"]))

    def close(self):
        try:
            self.send("Browser.close", session=False, timeout=5)
        except Exception:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        os.close(self.to)
        os.close(self.frm)


def hold_locked_link(core_port):
    """A client of the test's own with a locked link to gpib0,5,1 (raw VXI-11 over TCP)."""
    import socket
    import struct

    def opaque(data):
        return struct.pack(">I", len(data)) + data + b"\0" * (-len(data) % 4)

    link = opaque(b"gpib0,5,1")
    call = struct.pack(">IIIIII", 1, 0, 2, 0x0607AF, 1, 10) + b"\0" * 16
    call += struct.pack(">iiI", 7, 1, 1000) + link
    s = socket.create_connection(("127.0.0.1", core_port), timeout=5)
    s.sendall(struct.pack(">I", 0x80000000 | len(call)) + call)
    s.recv(4096)
    return s


def run(emulator, screenshot):
    chromium = shutil.which("chromium")
    if not chromium:
        print("skipped: chromium is not installed; scripts/deps.sh installs it")
        sys.exit(SKIP)
    folder = tempfile.mkdtemp(prefix="tm-page-browser-")
    log = open(os.path.join(folder, "chromium.log"), "w")
    gateway = subprocess.Popen([emulator, "--instant", "--no-portmapper", "--http", "0",
                                "--exit-on-stdin-eof"], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = gateway.stdout.readline()
    browser = None
    held = None
    try:
        if "page on port" not in line:
            failures.append(f"the gateway did not start: {line}")
            return
        port = int(line.rsplit(" ", 1)[1])
        held = hold_locked_link(int(line.split()[1]))
        browser = Browser(chromium, os.path.join(folder, "profile"), log)
        browser.open(f"http://127.0.0.1:{port}/")
        browser.wait_for("the page's title", "document.title.startsWith('tm-gateway on ')", True)
        browser.wait_for("the gateway's identity",
                         "document.getElementById('identity').textContent.split(',')[0]",
                         "Tarvel Morrow")
        browser.wait_for("the locked client", "document.querySelector('#clients tbody')"
                         ".textContent.includes('GPIB0 5,1 (locked)')", True)
        browser.wait_for("nothing searched before the button",
                         "document.querySelector('#board-0 .searched').textContent",
                         "Not searched yet.")
        browser.value("document.querySelector('button.search[data-board=\"0\"]').click()")
        browser.wait_for("the search's outcome",
                         "/^Last search .*: 4 found\\.$/"
                         ".test(document.querySelector('#board-0 .searched').textContent)", True)
        browser.wait_for("the instruments shown",
                         "[...document.querySelectorAll('#board-0 button.instrument')]"
                         ".map(b => b.textContent).join(' ')",
                         "gpib0,5,1 gpib0,7,2 gpib0,9 gpib0,12")
        browser.value("document.querySelector('button.instrument[data-link=\"gpib0,9\"]').click()")
        browser.wait_for("*IDN? of gpib0,9",
                         "document.querySelector('.answer[data-link=\"gpib0,9\"]').textContent",
                         "SIMULATED BENCH,DMM-9,0001,1.0")
        # The device the client holds locked is not asked.
        browser.value("document.querySelector('button.instrument[data-link=\"gpib0,5,1\"]').click()")
        browser.wait_for("*IDN? of a locked device",
                         "document.querySelector('.answer[data-link=\"gpib0,5,1\"]').textContent"
                         ".startsWith('no answer: locked by a client')", True)
        if screenshot:
            browser.screenshot(screenshot)
            print(f"screenshot: {screenshot}")
    finally:
        if browser:
            browser.close()
        if held:
            held.close()
        gateway.stdin.close()
        try:
            gateway.wait(timeout=15)
        except subprocess.TimeoutExpired:
            gateway.kill()
        errors = gateway.stderr.read()
        check("the gateway's exit status", gateway.returncode, 0)
        # The one search of the page's button.
        check("listener searches in the gateway's log", errors.count("listener search:"), 1)
        log.close()
        if failures:
            print(errors)
            with open(os.path.join(folder, "chromium.log")) as f:
                print(f.read()[-3000:])
        shutil.rmtree(folder, ignore_errors=True)


def main():
    emulator = os.path.abspath(sys.argv[1])
    screenshot = None
    if "--screenshot" in sys.argv:
        screenshot = os.path.abspath(sys.argv[sys.argv.index("--screenshot") + 1])
    # Root: the whole test in a network namespace of its own, loopback alone.
    if os.geteuid() == 0 and "--in-namespace" not in sys.argv and shutil.which("unshare"):
        status = subprocess.run(["unshare", "--net", "sh", "-c",
                                 'ip link set lo up && exec "$@"', "sh", sys.executable,
                                 *sys.argv, "--in-namespace"], timeout=120).returncode
        sys.exit(status)
    run(emulator, screenshot)
    for f in failures:
        print("FAILED:", f)
    print(f"status page in chromium: {'all passed' if not failures else f'{len(failures)} failed'}")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
