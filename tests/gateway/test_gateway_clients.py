#!/usr/bin/python3
"""tm-gateway serving a board map of a Prologix adapter and a simulated board
to clients no one here wrote, and to this program's own vxi11 kind, at once.

    test_gateway_clients.py TM_GATEWAY TM_ADAPTER_EMULATOR LIBTM_GPIB BENCH [--sanitized]

GPIB0 is a Prologix (tm-adapter-emulator on a TCP port, the built-in bench),
GPIB1 the simulated board GPIB1 of BENCH (tests/gateway/benches/two_boards.yaml).
Debian's pyvisa-py asks TCPIP0::127.0.0.1::gpib0,9 and gpib1,1 (query,
read_stb, assert_trigger, clear), and two of its clients contend for the lock
of gpib0,5,1; lxi-tools asks inst0 (--inst0 1,3); the bundled library asks
gpib0,7,2 and gpib1,2 through two vxi11 boards; all in threads side by side,
each client with devices of its own (a device shared would mix their answers,
as on any bus).
pyvisa-py is pointed at the gateway's portmapper wherever it answers; lxi-tools
only asks port 111, so its part is skipped (with the reason) when the gateway
cannot answer there. The whole test is skipped (exit code 77) without
pyvisa-py. In a sanitizer build (--sanitized) the bundled library cannot be
loaded into Python, whose runtime does not start with the sanitizer's; its
part is skipped there (test_gateway_chain takes the vxi11 kind through the
gateway in that build).
"""
import ctypes
import os
import shutil
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from child_process import Child  # noqa: E402

SKIP = 77
failures = []
checks = 0
lock = threading.Lock()

DMM9 = "SIMULATED BENCH,DMM-9,0001,1.0"
SCAN7 = "SIMULATED BENCH,SCAN-7,0003,1.0"
PSU5 = "SIMULATED BENCH,PSU-5,0002,1.0"
KEEPER = "GATEWAY BENCH,KEEPER,1,1.0"


def check(what, got, expected):
    global checks
    with lock:
        checks += 1
        if got != expected:
            failures.append(f"{what}: got {got!r}, expected {expected!r}")


def pyvisa_part(pyvisa, rm):
    def open_link(name):
        r = rm.open_resource(f"TCPIP0::127.0.0.1::{name}::INSTR")
        r.timeout = 3000
        r.write_termination = "\n"
        r.read_termination = "\n"
        return r

    dmm9, keeper = open_link("gpib0,9"), open_link("gpib1,1")
    for i in range(20):
        check("pyvisa *IDN? at gpib0,9", dmm9.query("*IDN?"), DMM9)
        keeper.write(f"DATA pyvisa{i}")
        check("pyvisa DATA? at gpib1,1", keeper.query("DATA?"), f"pyvisa{i}")
    check("pyvisa read_stb at gpib0,9", dmm9.read_stb(), 0)
    # The counter at 12 behind the Prologix answers a trigger with a request
    # for service; clearing throws its record away.
    counter = open_link("gpib0,12")
    counter.assert_trigger()
    check("pyvisa RQS after assert_trigger", counter.read_stb() & 0x40, 0x40)
    counter.clear()
    keeper.clear()
    check("pyvisa *IDN? after clear", keeper.query("*IDN?"), KEEPER)
    # Two clients, one lock, on a device no other part of the test uses.
    holder, other = open_link("gpib0,5,1"), open_link("gpib0,5,1")
    holder.lock()
    try:
        other.lock()
        failures.append("a second client got a lock that was held")
    except pyvisa.errors.VisaIOError as e:
        check("pyvisa lock held by another", e.error_code,
              pyvisa.constants.StatusCode.error_resource_locked)
    try:
        other.query("*IDN?")
        failures.append("a query went past another client's lock")
    except pyvisa.errors.VisaIOError as e:
        # pyvisa-py reports any refused write as an I/O error.
        check("pyvisa query past a lock", e.error_code, pyvisa.constants.StatusCode.error_io)
    check("pyvisa query by the holder", holder.query("*IDN?"), PSU5)
    holder.unlock()
    other.lock()
    check("pyvisa query by the new holder", other.query("*IDN?"), PSU5)
    other.unlock()
    for r in (dmm9, keeper, counter, holder, other):
        r.close()


def lxi_part():
    for _ in range(5):
        out = subprocess.run(["lxi", "scpi", "-a", "127.0.0.1", "-t", "3", "*IDN?"],
                             capture_output=True, text=True, timeout=20)
        check("lxi scpi *IDN? (inst0: gpib1,3)", out.stdout.strip(), KEEPER)


def own_kind_part(library_path, core_port, folder):
    board_map = os.path.join(folder, "window.yaml")
    with open(board_map, "w") as f:
        for board in (0, 1):
            f.write("boards:\n" if board == 0 else "")
            f.write(f"  GPIB{board}: {{kind: vxi11, host: 127.0.0.1, interface: gpib{board}, "
                    f"core_port: {core_port}}}\n")
    os.environ["GPIB_BOARDS"] = board_map
    gpib = ctypes.CDLL(library_path)
    gpib.ThreadIbsta.restype = ctypes.c_int
    gpib.ThreadIbcntl.restype = ctypes.c_long
    send, receive = gpib.Send, gpib.Receive
    send.argtypes = [ctypes.c_int, ctypes.c_ushort, ctypes.c_char_p, ctypes.c_long, ctypes.c_int]
    scanner = 7 | (0x60 + 2) << 8  # primary 7, secondary 2
    receive.argtypes = [ctypes.c_int, ctypes.c_ushort, ctypes.c_char_p, ctypes.c_long,
                        ctypes.c_int]
    answer = ctypes.create_string_buffer(128)
    for _ in range(50):
        for board, address, idn in ((0, scanner, SCAN7), (1, 2, KEEPER)):
            send(board, address, b"*IDN?", 5, 1)  # NLend
            receive(board, address, answer, 128, 0x100)  # STOPend
            err = gpib.ThreadIbsta() & 0x8000
            got = answer.raw[:gpib.ThreadIbcntl()].decode(errors="replace").strip()
            check(f"vxi11 kind *IDN? at GPIB{board} {address:#x}", "error" if err else got, idn)


def main():
    gateway, adapter_emulator, library, bench = sys.argv[1:4] + [os.path.abspath(sys.argv[4])]
    sanitized = "--sanitized" in sys.argv[5:]
    try:
        import pyvisa
        from pyvisa_py.protocols import rpc
        rm = pyvisa.ResourceManager("@py")
    except Exception as e:  # not installed, or without the py backend
        print(f"skipped: pyvisa-py is not usable ({e}); scripts/deps.sh installs python3-pyvisa-py")
        sys.exit(SKIP)
    folder = tempfile.mkdtemp(prefix="tm-gateway-clients-")
    adapter = Child(adapter_emulator, "--flavour", "prologix", "--instant", "--tcp", "0")
    board_map = os.path.join(folder, "boards.yaml")
    with open(board_map, "w") as f:
        f.write(f"boards:\n  GPIB0: {{kind: prologix, host: 127.0.0.1, tcp_port: {adapter.line}, "
                "secondaries: {5: [1]}}\n"
                f"  GPIB1: {{kind: simulated, bench: {bench}}}\n")
    common = [gateway, "--boards", board_map, "--instant", "--portmapper", "--inst0", "1,3"]
    served = Child(*common)
    lxi_reason = None
    if not served.line.startswith("core_port:"):
        status, errors = served.stop()
        lxi_reason = f"the gateway cannot answer the portmapper on port 111 ({errors.strip()})"
        served = Child(*common, "--portmapper-port", "0")
    if not served.line.startswith("core_port:"):
        status, errors = served.stop()
        adapter.stop()
        sys.exit(f"tm-gateway did not start: {errors}")
    core_port = int(served.line.split()[1])
    rpc.PMAP_PORT = int(served.line.rsplit(":", 1)[1].split()[0])
    if lxi_reason is None and not shutil.which("lxi"):
        lxi_reason = "lxi-tools is not installed; scripts/deps.sh installs it"

    parts = [threading.Thread(target=pyvisa_part, args=(pyvisa, rm))]
    if not sanitized:
        parts.append(threading.Thread(target=own_kind_part, args=(library, core_port, folder)))
    if lxi_reason is None:
        parts.append(threading.Thread(target=lxi_part))
    errors_in_parts = []

    def guarded(target):
        def run(*args):
            try:
                target(*args)
            except Exception as e:
                errors_in_parts.append(f"{target.__name__}: {e!r}")
        return run

    for t in parts:
        t._target = guarded(t._target)
        t.start()
    for t in parts:
        t.join(timeout=120)
    rm.close()
    status, log = served.stop()
    check("the gateway's exit status", status, 0)
    adapter.stop()
    shutil.rmtree(folder, ignore_errors=True)
    failures.extend(errors_in_parts)
    if lxi_reason:
        print(f"lxi-tools part skipped: {lxi_reason}")
    if sanitized:
        print("vxi11 kind part skipped: a sanitizer build's library does not load into Python")
    for f in failures:
        print("FAILED:", f)
    if failures:
        print(log)
    print(f"mixed map: {checks} checks, {'all passed' if not failures else f'{len(failures)} failed'}")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
