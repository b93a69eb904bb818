#!/usr/bin/python3
"""pyvisa-py's Prologix backend on the emulated adapter, for adapter_bench.

    pyvisa_prologix_rate.py INTERFACE ADDRESS

INTERFACE is pyvisa-py's resource for the adapter, e.g.
PRLGX-ASRL0::/dev/pts/7::INTFC or PRLGX-TCPIP0::127.0.0.1::4000::INTFC, and
ADDRESS the instrument's primary address on it. For each number N read from
standard input it opens the adapter, runs N *IDN? queries, closes it again
(so that our driver can have the line between two rounds) and prints the
queries per second; "ready" once it has started. N is a time in
milliseconds: it runs queries for that long (five at least). It needs pyvisa and
pyvisa-py with the Prologix backend on PYTHONPATH (adapter_bench sets it
from PEERS_DIR).
"""
import sys
import time

import pyvisa

manager = pyvisa.ResourceManager("@py")
print("ready", flush=True)
for line in sys.stdin:
    seconds = int(line) / 1000
    adapter = manager.open_resource(sys.argv[1])
    device = manager.open_resource(f"GPIB0::{sys.argv[2]}::INSTR")
    device.timeout = 2000
    # The adapter's session reads to LF; the instrument's takes no
    # termination settings of its own.
    device.write_termination = "\n"
    device.query("*IDN?")  # the first one pays for the addressing
    n = 0
    start = time.perf_counter()
    while n < 5 or time.perf_counter() - start < seconds:
        device.query("*IDN?")
        n += 1
    rate = n / (time.perf_counter() - start)
    device.close()
    adapter.close()
    print(rate, flush=True)
