#include "gateway/gateway_help.h"

namespace gateway {

std::string gatewayDescription(bool emulator) {
    if (emulator)
        return R"(Serves a simulated bench as a VXI-11 LAN/GPIB gateway: tm-gateway --bench,
the built-in bench unless --bench names another. The bench's board GPIBn is
the interface "gpibn", its instruments the links gpibn,PAD and gpibn,PAD,SAD.
)";
    return R"(Shares the boards of the board map on the network as a VXI-11 LAN/GPIB
gateway, so that any VISA (NI-VISA, Keysight VISA, pyvisa-py, lxi-tools) and
this program's own vxi11 board kind can use them. Board GPIBn is the interface
"gpibn" (or "hpibn"; "gpib" and "hpib" alone are board 0), its devices the
links gpibn,PAD and gpibn,PAD,SAD: a VISA names them
TCPIP0::HOST::gpib0,9::INSTR.
)";
}

std::string gatewayFooter(bool emulator) {
    std::string text = R"(
On start it prints one line,

  core_port: N  # abort port A, portmapper on 127.0.0.1:111

whose first part can go into a board map as it is (kind: vxi11, core_port: N).
VISA clients find the gateway through the portmapper on port 111: tm-gateway
registers with the system's (rpcbind) when one runs, else answers port 111
itself when it may bind it (as root, or with CAP_NET_BIND_SERVICE).

Without --inst0 the link inst0 is the gateway itself: *IDN? names it, and
SYSTem:INTerface:LIST? and SYSTem:INTerface:INSTrument:LIST? "gpib0" list its
interfaces and the instruments found on each ("gpib0,9","gpib0,5,1") by the
last listener search (SYSTem:INTerface:SEARch "gpib0", or the status page's
button; nothing is searched unasked). Listening on more than loopback, it
announces itself through Avahi (DNS-SD: _vxi-11._tcp, and with --http
_lxi._tcp and _http._tcp) unless --no-announce. --http PORT serves a status
page on the same address and to the same clients.

Only clients of the allowed networks are served (--allow; loopback only by
default); others are closed before a byte of theirs is read. Every client
accepted, link made and destroyed, and refusal is logged on standard error.
Started as root, it binds its ports, then becomes --user (keeping the groups
that open the boards' serial devices, such as dialout).

No client takes every connection: one address holds at most its share; a
connection holding no link is closed after --idle-timeout quiet seconds; when
the table or a share is full, an idle connection without a link makes room
for the newcomer, else the newcomer is refused. Each closing is logged once.
)";
    if (!emulator)
        text += R"(
As a service: the package's tm-gateway.service (disabled until enabled) runs
/usr/bin/tm-gateway $TM_GATEWAY_OPTIONS from /etc/default/tm-gateway, as a
dynamic user in the group dialout with CAP_NET_BIND_SERVICE only.
)";
    return text + R"(
SIGTERM and SIGINT end it; it then prints the calls it served on standard error.
A bad command line exits with status 2.)";
}

}  // namespace gateway
