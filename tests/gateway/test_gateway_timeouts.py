#!/usr/bin/python3
"""A client's io_timeout means the same on every kind of board tm-gateway serves.

    test_gateway_timeouts.py TM_GATEWAY TM_GATEWAY_EMULATOR TM_ADAPTER_EMULATOR
                             FAKE_PLATFORM_LIBRARY KIND...

For each KIND tm-gateway serves one board of it as GPIB0 with a silent device
at 9: the built-in bench's meter read without a query (simulated; adapter, an
emulated Prologix on a TCP port; vxi11, tm-gateway-emulator behind the kind),
or the fake platform library's read that waits its timeout code (library).
Debian's pyvisa-py reads TCPIP0::127.0.0.1::gpib0,9 with a timeout of 1500 ms
and has to see VI_ERROR_TMO (the gateway's error 15) after 1.5 to 1.65 s; a
kind that rounds the time up to a code (T3s) answers after pyvisa-py gave up.
Real time, loopback only, a few seconds a row; exit 77 without pyvisa-py.
"""
import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from child_process import Child  # noqa: E402

TIMEOUT_MS = 1500
LATEST_S = 1.65


def board_entry(kind, programs, children):
    """The board map's entry for GPIB0 of this kind, with the twin it needs started."""
    if kind == "adapter":
        children.append(Child(programs["adapter"], "--flavour", "prologix", "--tcp", "0"))
        return f"{{kind: prologix, host: 127.0.0.1, tcp_port: {children[-1].line}}}"
    if kind == "vxi11":
        children.append(Child(programs["emulator"], "--no-portmapper"))
        port = children[-1].line.split()[1] if children[-1].line.startswith("core_port:") else 0
        return f"{{kind: vxi11, host: 127.0.0.1, interface: gpib0, core_port: {port}}}"
    return {"simulated": "{kind: simulated}",
            "library": f"{{kind: library, library: {programs['library']}, board: 0}}"}[kind]


def timed_read(pyvisa, rm):
    """(seconds the read took, the status pyvisa-py reported)"""
    meter = rm.open_resource("TCPIP0::127.0.0.1::gpib0,9::INSTR")
    try:
        meter.timeout = 10000
        meter.read_stb()  # opens the board: not part of the time measured
        meter.timeout = TIMEOUT_MS
        start = time.monotonic()
        try:
            return time.monotonic() - start, f"no error, {len(meter.read_raw())} bytes"
        except pyvisa.errors.VisaIOError as e:
            return time.monotonic() - start, pyvisa.constants.StatusCode(e.error_code).name
    finally:
        meter.close()


def run_row(kind, programs, pyvisa, rm, folder):
    children = []
    try:
        board_map = os.path.join(folder, f"{kind}.yaml")
        with open(board_map, "w") as f:
            f.write(f"boards:\n  GPIB0: {board_entry(kind, programs, children)}\n")
        children.append(Child(programs["gateway"], "--boards", board_map, "--portmapper",
                              "--portmapper-port", "0"))
        if not children[-1].line.startswith("core_port:"):
            return f"{kind}: tm-gateway did not start: {children.pop().stop()[1]}"
        from pyvisa_py.protocols import rpc
        rpc.PMAP_PORT = int(children[-1].line.rsplit(":", 1)[1].split()[0])
        took, status = timed_read(pyvisa, rm)
        print(f"{kind:>9}: read of a silent instrument, timeout {TIMEOUT_MS} ms: "
              f"{status} after {took * 1000:.0f} ms")
        if status != "error_timeout" or not TIMEOUT_MS / 1000 <= took <= LATEST_S:
            return f"{kind}: expected error_timeout after {TIMEOUT_MS} to {LATEST_S * 1000:.0f} ms"
    except Exception as e:  # a row that cannot run fails with the reason
        return f"{kind}: {e!r}"
    finally:
        for child in reversed(children):
            child.stop()


def main():
    programs = dict(zip(("gateway", "emulator", "adapter", "library"), sys.argv[1:5]))
    # The children run in real time; the fake platform library reads a silent device.
    os.environ.pop("GPIB_SIM_INSTANT", None)
    os.environ["FAKE_PLATFORM_SILENT"] = "1"
    try:
        import pyvisa
        rm = pyvisa.ResourceManager("@py")
    except Exception as e:  # not installed, or without the py backend
        print(f"skipped: pyvisa-py is not usable ({e}); scripts/deps.sh installs python3-pyvisa-py")
        sys.exit(77)
    folder = tempfile.mkdtemp(prefix="tm-gateway-timeouts-")
    try:
        failures = [f for f in (run_row(k, programs, pyvisa, rm, folder) for k in sys.argv[5:]) if f]
    finally:
        rm.close()
        shutil.rmtree(folder, ignore_errors=True)
    for f in failures:
        print("FAILED:", f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
