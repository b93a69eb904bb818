#!/usr/bin/python3
"""A peer VXI-11 server for gateway_server_bench: python-vxi11-server, fetched
into a scratch folder outside the repository, serving one device that answers
*IDN? at once.

    vxi11_peer.py [--exit-on-stdin-eof] CHECKOUT

CHECKOUT is the peer's checkout (holding its vxi11_server package). The device is
registered under the link name gpib0,9, so the same client reaches it as it
reaches tm-gateway. The peer registers with a portmapper on port 111 when it
starts; the benchmark needs none, so that step is left out. Prints
"core_port: N", then serves until standard input closes.
"""
import os
import sys
import threading

sys.path.insert(0, os.path.abspath(sys.argv[-1]))
import vxi11_server as Vxi11  # noqa: E402
from vxi11_server import instrument_server  # noqa: E402


class Meter(Vxi11.InstrumentDevice):
    """Keeps whether a query came; answers it."""

    def device_init(self):
        self.asked = False

    def device_write(self, opaque_data, flags, io_timeout):
        self.asked = opaque_data.strip() == b"*IDN?"
        return Vxi11.Error.NO_ERROR

    def device_read(self, request_size, term_char, flags, io_timeout):
        data = b"BENCH,PEER,1,1.0\n" if self.asked else b""
        self.asked = False
        return Vxi11.Error.NO_ERROR, Vxi11.ReadRespReason.END, data


instrument_server.Vxi11CoreServer.register = lambda self: None
instrument_server.Vxi11CoreServer.unregister = lambda self: None
server = Vxi11.InstrumentServer()
server.add_device_handler(Meter, "gpib0,9")
server.listen()
print(f"core_port: {server.coreServer.server_address[1]}", flush=True)
sys.stdin.read()
threading.Thread(target=server.close, daemon=True).start()
