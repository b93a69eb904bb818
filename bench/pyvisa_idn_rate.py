#!/usr/bin/python3
"""pyvisa-py's *IDN? rate through the emulated gateway, for gateway_bench.

    pyvisa_idn_rate.py PORTMAPPER_PORT

Opens TCPIP0::127.0.0.1::gpib0,9::INSTR once, then for each number N read
from standard input runs N queries and prints the queries per second.
pyvisa-py always asks the portmapper on port 111; the benchmark's emulator
answers on a free port instead (so that it runs without root), and the
client is pointed there. Nothing else of pyvisa-py changes.
"""
import sys
import time

import pyvisa
from pyvisa_py.protocols import rpc

rpc.PMAP_PORT = int(sys.argv[1])
device = pyvisa.ResourceManager("@py").open_resource("TCPIP0::127.0.0.1::gpib0,9::INSTR")
device.timeout = 2000
device.write_termination = "\n"
device.read_termination = "\n"
print("ready", flush=True)
for line in sys.stdin:
    n = int(line)
    start = time.perf_counter()
    for _ in range(n):
        device.query("*IDN?")
    print(n / (time.perf_counter() - start), flush=True)
device.close()
