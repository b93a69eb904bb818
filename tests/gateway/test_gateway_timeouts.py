#!/usr/bin/python3
"""A client's io_timeout means the same on every kind of board tm-gateway serves.

    test_gateway_timeouts.py TM_GATEWAY TM_GATEWAY_EMULATOR TM_ADAPTER_EMULATOR
                             FAKE_PLATFORM_LIBRARY KIND...

For each KIND (simulated, library, vxi11, adapter) tm-gateway serves one board
of that kind as GPIB0, with a silent instrument at 9: the built-in bench's
meter, read without a query (simulated; the adapter, an emulated Prologix on
a TCP port; the vxi11 kind, tm-gateway-emulator behind it), or the fake
platform library, whose reads of a silent device wait their timeout code
(FAKE_PLATFORM_SILENT). Debian's pyvisa-py reads TCPIP0::127.0.0.1::gpib0,9
with a timeout of 1500 ms: the read has to fail with VI_ERROR_TMO (the
gateway's error 15) after 1.5 to 1.65 s. A kind that rounds the time up to a
timeout code (3 s) answers after pyvisa-py gave up (VI_ERROR_IO), or late.

Everything runs in real time (no --instant, GPIB_SIM_INSTANT removed) on
loopback, each row at most a few seconds. Exit 77 (skipped) without pyvisa-py.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
TIMEOUT_MS = 1500
LATEST_S = 1.65


class Child:
    """A program that prints one line, then serves until its standard input closes."""

    def __init__(self, argv, env):
        self.proc = subprocess.Popen([*argv, "--exit-on-stdin-eof"], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                     env=env)
        self.line = self.proc.stdout.readline().strip()

    def stop(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        return self.proc.stderr.read()


def board_entry(kind, programs, env, children):
    """The board map's line for GPIB0 of this kind, starting the twin it needs."""
    if kind == "simulated":
        return "{kind: simulated}"
    if kind == "library":
        return f"{{kind: library, library: {programs['library']}, board: 0}}"
    if kind == "adapter":
        adapter = Child([programs["adapter"], "--flavour", "prologix", "--tcp", "0"], env)
        children.append(adapter)
        return f"{{kind: prologix, host: 127.0.0.1, tcp_port: {adapter.line}}}"
    if kind == "vxi11":
        emulator = Child([programs["emulator"], "--no-portmapper"], env)
        children.append(emulator)
        port = emulator.line.split()[1] if emulator.line.startswith("core_port:") else "0"
        return f"{{kind: vxi11, host: 127.0.0.1, interface: gpib0, core_port: {port}}}"
    raise ValueError(f"no such kind: {kind}")


def timed_read(pyvisa, rm, pmap_port):
    """(seconds the read took, the status pyvisa-py reported)"""
    from pyvisa_py.protocols import rpc
    rpc.PMAP_PORT = pmap_port
    meter = rm.open_resource("TCPIP0::127.0.0.1::gpib0,9::INSTR")
    try:
        meter.timeout = 10000
        meter.read_stb()  # opens the board: not part of the time measured
        meter.timeout = TIMEOUT_MS
        start = time.monotonic()
        try:
            data = meter.read_raw()
            return time.monotonic() - start, f"no error, {len(data)} bytes"
        except pyvisa.errors.VisaIOError as e:
            return time.monotonic() - start, pyvisa.constants.StatusCode(e.error_code).name
    finally:
        meter.close()


def run_row(kind, programs, pyvisa, rm, folder):
    env = dict(os.environ, FAKE_PLATFORM_SILENT="1")
    env.pop("GPIB_SIM_INSTANT", None)
    children = []
    gateway = None
    try:
        board_map = os.path.join(folder, f"{kind}.yaml")
        with open(board_map, "w") as f:
            f.write(f"boards:\n  GPIB0: {board_entry(kind, programs, env, children)}\n")
        gateway = Child([programs["gateway"], "--boards", board_map, "--portmapper",
                         "--portmapper-port", "0"], env)
        if not gateway.line.startswith("core_port:"):
            return f"{kind}: tm-gateway did not start: {gateway.stop()}"
        pmap_port = int(gateway.line.rsplit(":", 1)[1].split()[0])
        took, status = timed_read(pyvisa, rm, pmap_port)
        print(f"{kind:>9}: read of a silent instrument, timeout {TIMEOUT_MS} ms: "
              f"{status} after {took * 1000:.0f} ms")
        if status != "error_timeout" or not TIMEOUT_MS / 1000 <= took <= LATEST_S:
            return (f"{kind}: expected error_timeout after {TIMEOUT_MS} to {LATEST_S * 1000:.0f}"
                    f" ms, got {status} after {took * 1000:.0f} ms")
        return None
    except Exception as e:  # a row that cannot run fails with the reason
        return f"{kind}: {e!r}"
    finally:
        log = gateway.stop() if gateway else ""
        for child in children:
            child.stop()
        if os.environ.get("VERBOSE"):
            print(log)


def main():
    programs = dict(zip(("gateway", "emulator", "adapter", "library"), sys.argv[1:5]))
    kinds = sys.argv[5:]
    try:
        import pyvisa
        rm = pyvisa.ResourceManager("@py")
    except Exception as e:  # not installed, or without the py backend
        print(f"skipped: pyvisa-py is not usable ({e}); scripts/deps.sh installs python3-pyvisa-py")
        sys.exit(SKIP)
    folder = tempfile.mkdtemp(prefix="tm-gateway-timeouts-")
    try:
        failures = [f for f in (run_row(k, programs, pyvisa, rm, folder) for k in kinds) if f]
    finally:
        rm.close()
        shutil.rmtree(folder, ignore_errors=True)
    for f in failures:
        print("FAILED:", f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
