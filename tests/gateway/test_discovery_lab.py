#!/usr/bin/python3
"""tm-gateway found on a network by clients no one here wrote, in the
namespace lab of tests/support/netns_lab.py (two namespaces, a veth cable,
an Avahi daemon on each side; nothing leaves them).

    test_discovery_lab.py TM_GATEWAY_EMULATOR [TM_BOARDS LIBTM_GPIB]

The server side runs tm-gateway-emulator --listen 0.0.0.0 --allow
10.77.0.0/24 with its page; the client side runs lxi-tools:
 - lxi discover (VXI-11 broadcast to the portmapper, then *IDN? on inst0)
   lists the gateway with its own identity;
 - lxi discover -m (DNS-SD) lists its _vxi-11._tcp and _lxi._tcp services,
   and avahi-browse shows their TXT records;
 - lxi scpi asks inst0 for the interfaces and the instruments found;
 - tm-boards find lists the gateway's two interfaces, found by broadcast
   and by DNS-SD; its add line writes a board map through which the
   program's own driver (libtm-gpib.so, as the window loads it) asks the
   multimeter behind the gateway *IDN?;
 - the gateway started with no Avahi daemon serves, and announces once one
   starts, and again after it went away and came back;
 - a name another machine took first makes it announce as "... #2";
 - with PEERS_DIR holding pyvisa-py's GitHub checkout, its
   list_resources("TCPIP?*") lists the gateway too.
Skipped (exit code 77) where no lab can be made (not root) or lxi-tools is
missing. Every wait is bounded; the lab removes what it made.
"""
import os
import re
import select
import shutil
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from netns_lab import Lab, unavailable  # noqa: E402

SKIP = 77
failures = []
IDN = "Tarvel Morrow,tm-gateway,tm-lab-gw,1.0.0"
NAME = "tm-gateway on tm-lab-gw"


BEGAN = time.monotonic()


def phase(name):
    print(f"[{time.monotonic() - BEGAN:5.1f} s] {name}")


def check(what, ok, shown=""):
    if not ok:
        failures.append(f"{what}\n{shown}".rstrip())
    return ok


class Gateway:
    """tm-gateway-emulator in the server's namespace; its log read as it comes."""

    def __init__(self, lab, emulator, *extra):
        self.proc = lab.server.spawn([emulator, "--instant", "--listen", "0.0.0.0", "--allow",
                                      "10.77.0.0/24", "--http", "8080", "--exit-on-stdin-eof",
                                      *extra])
        self.log = []
        ready, _, _ = select.select([self.proc.stdout], [], [], 15)
        self.line = self.proc.stdout.readline() if ready else ""
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.proc.stderr:
            self.log.append(line)

    def logged(self, part, timeout=10):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if any(part in line for line in self.log):
                return True
            time.sleep(0.1)
        return False

    def stop(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.reader.join(timeout=5)
        log = "".join(self.log)
        # A crash or a sanitizer's finding at exit would not end with 0.
        check("the gateway ends cleanly", self.proc.returncode == 0,
              f"exit status {self.proc.returncode}\n{log}")
        return log


def browse(lab, service, want, timeout=10):
    """avahi-browse on the client side until a resolved line has want (or the time is up)."""
    deadline = time.monotonic() + timeout
    out = ""
    while time.monotonic() < deadline:
        out = lab.client.run(["avahi-browse", "-rpt", service], timeout=15).stdout
        if want(out):
            return out
        time.sleep(0.3)
    return out


def resolved(out, name):
    """The resolved lines of avahi-browse -p for a name (written as it escapes it)."""
    escaped = name.replace(" ", "\\032").replace("#", "\\035")
    return [line for line in out.splitlines()
            if line.startswith("=") and line.split(";")[3] == escaped]


def found_by_tm_boards(lab, tm_boards, library):
    """tm-boards find on the client side, then its add line, then the driver through the map."""
    found = lab.client.run([tm_boards, "find", "--no-serial", "--no-libraries", "--timeout", "2000",
                            "--tab"], timeout=30)
    print("tm-boards find:\n" + found.stdout)
    rows = [line.split("\t") for line in found.stdout.splitlines() if line.startswith("vxi11\t")]
    where = {row[1]: row for row in rows}
    for interface in ("gpib0", "gpib1"):
        row = where.get("10.77.0.1," + interface)
        if check(f"tm-boards find lists 10.77.0.1,{interface}", row, found.stdout + found.stderr):
            check(f"{interface} found by broadcast and by DNS-SD",
                  set(row[2].split(",")) >= {"broadcast", "dns-sd"}, "\t".join(row))
    row = where.get("10.77.0.1,gpib0")
    if not row or not row[3].startswith("tm-boards add GPIB0 "):
        return
    scratch = lab.client.run(["mktemp", "-d"], timeout=5).stdout.strip()
    board_map = os.path.join(scratch, "boards.yaml")
    added = lab.client.run(["env", f"GPIB_BOARDS={board_map}", tm_boards]
                           + row[3].split()[1:], timeout=15)
    check("its add line writes the board map", added.returncode == 0, added.stdout + added.stderr)
    # The program's own driver through the map it wrote: the multimeter at 9
    # on the gateway's gpib0 (Send with a line feed and EOI, Receive to EOI).
    code = f"""
import ctypes
gpib = ctypes.CDLL({library!r})
ud = gpib.ibfind(b"GPIB0")
gpib.Send(0, ctypes.c_ushort(9), b"*IDN?", ctypes.c_long(5), 1)
answer = ctypes.create_string_buffer(256)
gpib.Receive(0, ctypes.c_ushort(9), answer, ctypes.c_long(256), 0x100)
gpib.ThreadIbcntl.restype = ctypes.c_long
print(ud, hex(gpib.ThreadIbsta()), answer.raw[:gpib.ThreadIbcntl()].decode(errors="replace").strip())
"""
    preload = os.environ.get("TM_CTYPES_PRELOAD", "")
    sanitized = [f"LD_PRELOAD={preload}", "ASAN_OPTIONS=detect_leaks=0"] if preload else []
    asked = lab.client.run(["env", f"GPIB_BOARDS={board_map}"] + sanitized
                           + [sys.executable, "-c", code],
                           timeout=30)
    print("the driver through the added board: " + asked.stdout.strip())
    words = asked.stdout.split(" ", 2)
    ok = len(words) == 3 and int(words[0]) >= 0 and int(words[1], 16) & 0xA000 == 0x2000
    check("the driver opens the added board and the multimeter answers with END",
          ok and words[2].strip() == "SIMULATED BENCH,DMM-9,0001,1.0", asked.stdout + asked.stderr)
    lab.client.run(["rm", "-rf", scratch], timeout=5)


def main():
    emulator = os.path.abspath(sys.argv[1])
    tm_boards = os.path.abspath(sys.argv[2]) if len(sys.argv) > 3 else None
    library = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
    reason = unavailable()
    if reason is None and not shutil.which("lxi"):
        reason = "lxi-tools is not installed; scripts/deps.sh installs it"
    if reason:
        print(f"skipped: {reason}")
        sys.exit(SKIP)
    with Lab() as lab:
        phase("lab made")
        gateway = Gateway(lab, emulator)
        check("the gateway starts with its page and our own portmapper",
              "portmapper on 0.0.0.0:111, page on port 8080" in gateway.line, gateway.line)

        phase("gateway started")
        found = lab.client.run(["lxi", "discover", "-t", "1"], timeout=30).stdout
        print("lxi discover:\n" + found)
        check("lxi discover lists the gateway with its identity",
              re.search(r"Found \"" + re.escape(IDN) + r"\" on address 10\.77\.0\.1", found),
              found)

        phase("lxi discover done")
        found = lab.client.run(["lxi", "discover", "-m", "-t", "2"], timeout=30).stdout
        print("lxi discover -m:\n" + found)
        for service, port in (("vxi-11", 111), ("lxi", 8080)):
            check(f"lxi discover -m lists its {service} service at port {port}",
                  re.search(rf'Found "{re.escape(NAME)}" on address 10\.77\.0\.1\n'
                            rf"\s+{service} service on port {port}\n", found), found)

        phase("lxi discover -m done")
        for service, port in (("_lxi._tcp", "8080"), ("_vxi-11._tcp", "111"), ("_http._tcp", "8080")):
            out = browse(lab, service, lambda o: resolved(o, NAME))
            lines = resolved(out, NAME)
            if check(f"avahi-browse resolves {service}", lines, out):
                fields = lines[0].split(";")
                check(f"{service} at 10.77.0.1:{port}", fields[7:9] == ["10.77.0.1", port], lines[0])
                for record in ("txtvers=1", "Manufacturer=Tarvel Morrow", "Model=tm-gateway",
                               "SerialNumber=tm-lab-gw", "FirmwareVersion=1.0.0"):
                    check(f"{service} TXT {record}", f'"{record}"' in fields[9], lines[0])
        print("avahi-browse _lxi._tcp:\n" + "\n".join(resolved(browse(lab, "_lxi._tcp", bool), NAME)))

        phase("avahi-browse done")
        question = 'SYST:INT:LIST?;SEAR "gpib0";INST:LIST? "gpib0"'
        asked = lab.client.run(["lxi", "scpi", "-a", "10.77.0.1", "-t", "3", question],
                               timeout=20).stdout.strip()
        print(f"lxi scpi '{question}': {asked}")
        check("inst0 lists the interfaces and what a search finds on gpib0",
              asked == '"gpib0","gpib1";"gpib0,5,1","gpib0,7,2","gpib0,9","gpib0,12"', asked)

        if tm_boards:
            found_by_tm_boards(lab, tm_boards, library)
            phase("tm-boards done")

        peers = os.environ.get("PEERS_DIR", "")
        if peers and os.path.isdir(os.path.join(peers, "pyvisa-py")):
            code = ("import pyvisa; print(pyvisa.ResourceManager('@py').list_resources('TCPIP?*'))")
            path = os.pathsep.join(os.path.join(peers, p) for p in ("pyvisa-py", "pyvisa"))
            listed = lab.client.run(["env", f"PYTHONPATH={path}", sys.executable, "-W", "ignore",
                                     "-c", code], timeout=30)
            print("pyvisa-py (GitHub) list_resources('TCPIP?*'): " + listed.stdout.strip())
            check("pyvisa-py lists the gateway", "TCPIP::10.77.0.1::INSTR" in listed.stdout,
                  listed.stdout + listed.stderr[-500:])
        else:
            print("pyvisa-py part skipped: PEERS_DIR holds no pyvisa-py checkout")

        log = gateway.stop()
        phase("first gateway ended")
        check("the announcements are withdrawn at exit", "announcements withdrawn" in log, log)
        gone = browse(lab, "_vxi-11._tcp", lambda o: not resolved(o, NAME), timeout=5)
        check("and gone from the network", not resolved(gone, NAME), gone)

        # No daemon at start: served anyway, announced once one starts, and
        # again after it went away and came back.
        lab.server.stop_avahi()
        phase("the server's Avahi daemon stopped")
        gateway = Gateway(lab, emulator)
        check("without an Avahi daemon it says so once",
              gateway.logged("no Avahi daemon runs: announcing once one starts"), "".join(gateway.log))
        idn = lab.client.run(["lxi", "scpi", "-a", "10.77.0.1", "-t", "3", "*IDN?"], timeout=20)
        check("and serves", idn.stdout.strip() == IDN, idn.stdout + idn.stderr)
        for turn in ("starts", "comes back"):
            lab.server.start_avahi()
            out = browse(lab, "_vxi-11._tcp", lambda o: resolved(o, NAME), timeout=15)
            check(f"announced once a daemon {turn}", resolved(out, NAME), out)
            if turn == "starts":
                lab.server.stop_avahi()
                check("the daemon's going is logged",
                      gateway.logged("the Avahi daemon went away"), "".join(gateway.log))
        log = gateway.stop()
        phase("daemon gone and back done")
        check("each state logged once", log.count("no Avahi daemon runs") == 1, log)

        # A name another machine has already: the next one.
        squatter = lab.client.spawn(["avahi-publish", "-s", NAME, "_vxi-11._tcp", "111"])
        browse(lab, "_vxi-11._tcp", lambda o: "tm-lab-client" in o, timeout=10)
        gateway = Gateway(lab, emulator)
        out = browse(lab, "_vxi-11._tcp", lambda o: resolved(o, NAME + " #2"), timeout=15)
        check("a name taken on the network becomes '... #2'", resolved(out, NAME + " #2"), out)
        log = gateway.stop()
        check("the rename is logged", f'the name "{NAME}" is taken on the network' in log, log)
        squatter.terminate()
        phase("collision done")
    for f in failures:
        print("FAILED:", f)
    print(f"discovery lab: {time.monotonic() - BEGAN:.1f} s, "
          f"{'all passed' if not failures else f'{len(failures)} failed'}")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
