#!/usr/bin/python3
"""A network lab for discovery tests: two network namespaces joined by a
virtual cable, each with a system bus and an Avahi daemon of its own, so that
broadcasts and multicast DNS stay between the two and reach nothing else.

    from netns_lab import Lab, unavailable

    reason = unavailable()            # None, or why no lab can be made here
    with Lab(avahi=True) as lab:      # everything made is removed on leaving
        gw = lab.server.spawn([...])  # a process in the server's namespace
        out = lab.client.run(["lxi", "discover"], timeout=10)

Lab.server has 10.77.0.1/24 and Lab.client 10.77.0.2/24 (broadcast
10.77.0.255, the default route the cable) on a veth pair; each namespace
has loopback up and a host name
of its own (Lab.server.host, "tm-lab-gw"; Lab.client.host, "tm-lab-client"),
and with avahi=True a dbus-daemon and an avahi-daemon that see nothing but
the cable. A namespace's run() returns a CompletedProcess (text, bounded by
its timeout); spawn() a Popen that the lab ends when it is left;
stop_avahi() and start_avahi() take its Avahi daemon away and bring it back.
Namespaces and links carry this process's id in their names, so that labs of
tests running side by side never meet. Needs root (CAP_NET_ADMIN and
CAP_SYS_ADMIN), ip, unshare and nsenter; avahi-daemon and dbus-daemon for
avahi=True.

Run as a program, it makes a lab, prints how to enter it, and waits for
Enter before removing it:  python3 tests/support/netns_lab.py
"""
import os
import shutil
import signal
import subprocess
import tempfile
import time

SERVER_ADDRESS, CLIENT_ADDRESS, PREFIX, BROADCAST = "10.77.0.1", "10.77.0.2", 24, "10.77.0.255"
# How long a daemon of the lab may take to come up.
READY_TIMEOUT = 10

AVAHI_CONF = """[server]
host-name={host}
use-ipv4=yes
use-ipv6=no
allow-interfaces={interface}
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
publish-aaaa-on-ipv4=no
"""

# Inside the namespace: a mount namespace and host name of its own, a tmpfs
# over /run (so the daemons' sockets and pid files are the lab's, and
# nothing is left in the machine's /run), then nothing but waiting to be
# ended.
HOLDER = """set -e
mount -t tmpfs -o mode=0755 tmpfs /run
mkdir -p /run/dbus /run/avahi-daemon
hostname "$1"
echo ready
exec sleep 100000
"""


def unavailable(avahi=True):
    """None when a lab can be made here, else the reason."""
    if os.geteuid() != 0:
        return "network namespaces need root (CAP_NET_ADMIN); CI runs the tests as root"
    needed = ["ip", "unshare", "nsenter"] + (["dbus-daemon", "avahi-daemon"] if avahi else [])
    missing = [p for p in needed if not shutil.which(p)]
    if missing:
        return f"{', '.join(missing)} not installed; scripts/deps.sh installs them"
    probe = f"tmlab{os.getpid()}p"
    made = subprocess.run(["ip", "netns", "add", probe], capture_output=True, text=True)
    if made.returncode != 0:
        return f"no network namespace can be made here: {made.stderr.strip()}"
    subprocess.run(["ip", "netns", "delete", probe], capture_output=True)
    return None


class Namespace:
    def __init__(self, lab, name, interface, address, host):
        self.lab, self.name, self.interface, self.address, self.host = (
            lab, name, interface, address, host)
        self.holder = None
        self.avahi = None
        self.spawned = []

    def _enter(self, argv):
        return ["nsenter", "-t", str(self.holder.pid), "-m", "-u", "-n", "--", *argv]

    def run(self, argv, timeout=30, **kwargs):
        """argv in the namespace, its output as text; killed at the timeout."""
        return subprocess.run(self._enter(argv), capture_output=True, text=True, timeout=timeout,
                              **kwargs)

    def spawn(self, argv, **kwargs):
        """argv in the namespace, left running until the lab ends (or the caller ends it)."""
        kwargs.setdefault("stdin", subprocess.PIPE)
        kwargs.setdefault("stdout", subprocess.PIPE)
        kwargs.setdefault("stderr", subprocess.PIPE)
        p = subprocess.Popen(self._enter(argv), text=True, **kwargs)
        self.spawned.append(p)
        return p

    def start_avahi(self, wait=True):
        conf = os.path.join(self.lab.folder, f"avahi-{self.host}.conf")
        with open(conf, "w") as f:
            f.write(AVAHI_CONF.format(host=self.host, interface=self.interface))
        path = os.path.join(self.lab.folder, f"avahi-{self.host}.log")
        started = _read(path).count("Server startup complete")
        with open(path, "a") as log:
            self.avahi = self.spawn(["avahi-daemon", "--no-drop-root", "--no-chroot",
                                     "--no-rlimits", "-f", conf],
                                    stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        self._avahi_ready = lambda: _read(path).count("Server startup complete") > started
        if wait:
            self.await_avahi()

    def await_avahi(self):
        _wait(self._avahi_ready, f"avahi-daemon in {self.name}")

    def stop_avahi(self):
        if self.avahi and self.avahi.poll() is None:
            self.avahi.terminate()
            try:
                self.avahi.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.avahi.kill()
                self.avahi.wait()
        self.avahi = None

    def _start(self, avahi):
        """The holder and the system bus; the Avahi daemon started, not waited for."""
        self.holder = subprocess.Popen(
            ["ip", "netns", "exec", self.name, "unshare", "-m", "-u", "--propagation", "private",
             "sh", "-c", HOLDER, "sh", self.host],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if self.holder.stdout.readline().strip() != "ready":
            raise RuntimeError(f"{self.name}: {self.holder.stderr.read()}")
        # nsenter -t takes the holder's own process, which is sleep by now.
        if avahi:
            with open(os.path.join(self.lab.folder, f"dbus-{self.host}.log"), "w") as bus_log:
                self.spawn(["dbus-daemon", "--system", "--nofork", "--nopidfile"],
                           stdin=subprocess.DEVNULL, stdout=bus_log, stderr=bus_log)
            _wait(lambda: self.run(["test", "-S", "/run/dbus/system_bus_socket"],
                                   timeout=5).returncode == 0, f"dbus-daemon in {self.name}")
            self.start_avahi(wait=False)

    def _end(self):
        for p in reversed(self.spawned):
            if p.poll() is None:
                p.terminate()
        deadline = time.monotonic() + 5
        for p in reversed(self.spawned):
            try:
                p.wait(timeout=max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        if self.holder and self.holder.poll() is None:
            self.holder.kill()
            self.holder.wait()
        # Whatever else runs in the namespace is a child of ours: ended too.
        pids = subprocess.run(["ip", "netns", "pids", self.name], capture_output=True, text=True)
        for pid in pids.stdout.split():
            try:
                os.kill(int(pid), signal.SIGKILL)
            except (ProcessLookupError, ValueError):
                pass


class Lab:
    def __init__(self, avahi=True):
        tag = os.getpid()
        self.avahi = avahi
        self.folder = tempfile.mkdtemp(prefix="tm-netns-lab-")
        self.server = Namespace(self, f"tmlab{tag}s", f"tmv{tag}s", SERVER_ADDRESS, "tm-lab-gw")
        self.client = Namespace(self, f"tmlab{tag}c", f"tmv{tag}c", CLIENT_ADDRESS,
                                "tm-lab-client")

    def __enter__(self):
        try:
            self._make()
        except BaseException:
            self._remove()
            raise
        return self

    def __exit__(self, *exc):
        self._remove()
        return False

    def _make(self):
        s, c = self.server, self.client
        for ns in (s, c):
            _ip("netns", "add", ns.name)
        # The cable is made with both ends in their namespaces at once:
        # neither end is ever on the machine's own network.
        _ip("link", "add", s.interface, "netns", s.name, "type", "veth", "peer", "name",
            c.interface, "netns", c.name)
        for ns in (s, c):
            _ip("-n", ns.name, "addr", "add", f"{ns.address}/{PREFIX}", "broadcast", BROADCAST,
                "dev", ns.interface)
            _ip("-n", ns.name, "link", "set", ns.interface, "up")
            _ip("-n", ns.name, "link", "set", "lo", "up")
            # The cable is each side's whole world, as a LAN is a client's:
            # what goes to 255.255.255.255 goes along it, and nowhere else.
            _ip("-n", ns.name, "route", "add", "default", "dev", ns.interface)
        # Both sides at once: an Avahi daemon takes a second or so to probe
        # its host name.
        for ns in (s, c):
            ns._start(self.avahi)
        if self.avahi:
            for ns in (s, c):
                ns.await_avahi()

    def _remove(self):
        for ns in (self.server, self.client):
            ns._end()
        for ns in (self.server, self.client):
            subprocess.run(["ip", "netns", "delete", ns.name], capture_output=True)
        shutil.rmtree(self.folder, ignore_errors=True)

    def log(self, name):
        """What a daemon of the lab wrote: "avahi-tm-lab-gw", "dbus-tm-lab-client", ..."""
        return _read(os.path.join(self.folder, f"{name}.log"))


def _ip(*args):
    done = subprocess.run(["ip", *args], capture_output=True, text=True, timeout=10)
    if done.returncode != 0:
        raise RuntimeError(f"ip {' '.join(args)}: {done.stderr.strip()}")


def _read(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return ""


def _wait(ready, what):
    deadline = time.monotonic() + READY_TIMEOUT
    while not ready():
        if time.monotonic() > deadline:
            raise RuntimeError(f"{what} did not come up within {READY_TIMEOUT} s")
        time.sleep(0.05)


if __name__ == "__main__":
    reason = unavailable()
    if reason:
        raise SystemExit(f"no lab: {reason}")
    with Lab() as lab:
        for ns in (lab.server, lab.client):
            print(f"{ns.host}: {ns.address} on {ns.interface}; enter it with\n"
                  f"  nsenter -t {ns.holder.pid} -m -u -n")
        input("Enter removes the lab. ")
