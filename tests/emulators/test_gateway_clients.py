#!/usr/bin/python3
"""VXI-11 clients we did not write, against tm-gateway-emulator over loopback.

    test_gateway_clients.py EMULATOR pyvisa-builtin
    test_gateway_clients.py EMULATOR pyvisa-default-yaml DEFAULT_YAML
    test_gateway_clients.py EMULATOR lxi

pyvisa-py and lxi-tools find the gateway's core channel through the
portmapper on port 111, so the emulator must answer there: when that port
cannot be bound (not root, or an rpcbind already has it) the test is skipped
with the reason (exit code 77).
"""
import os
import shutil
import subprocess
import sys

SKIP = 77
failures = []


checks = 0


def check(what, got, expected):
    global checks
    checks += 1
    if got != expected:
        failures.append(f"{what}: got {got!r}, expected {expected!r}")


def skip(reason):
    print(f"skipped: {reason}")
    sys.exit(SKIP)


class Emulator:
    """The emulator as a child that ends with our standard input."""

    def __init__(self, path, *options):
        self.proc = subprocess.Popen(
            [path, "--exit-on-stdin-eof", "--instant", "--portmapper", *options],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.line = self.proc.stdout.readline()
        if not self.line.startswith("core_port:"):
            self.proc.stdin.close()
            errors = self.proc.stderr.read()
            self.proc.wait(timeout=10)
            if "portmapper" in errors:
                skip("the emulator cannot answer the portmapper on port 111 "
                     f"({errors.strip()}); run as root with port 111 free")
            raise RuntimeError(f"the emulator did not start: {errors.strip()}")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.proc.stdin.close()
        try:
            status = self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            status = "killed after 10 s"
        check("the emulator's exit status", status, 0)


def resource_manager():
    try:
        import pyvisa
        return pyvisa, pyvisa.ResourceManager("@py")
    except Exception as e:  # not installed, or installed without the py backend
        skip(f"pyvisa-py is not usable ({e}); scripts/deps.sh installs python3-pyvisa-py")


def open_link(rm, name):
    r = rm.open_resource(f"TCPIP0::127.0.0.1::{name}::INSTR")
    r.timeout = 2000
    r.write_termination = "\n"
    r.read_termination = "\n"
    return r


def builtin_bench(emulator_path):
    pyvisa, rm = resource_manager()
    with Emulator(emulator_path):
        dmm = open_link(rm, "gpib0,9")
        check("*IDN? at 9", dmm.query("*IDN?"), "SIMULATED BENCH,DMM-9,0001,1.0")
        check("read_stb at 9", dmm.read_stb(), 0)
        for name, idn in (("gpib0,5,1", "SIMULATED BENCH,PSU-5,0002,1.0"),
                          ("gpib0,7,2", "SIMULATED BENCH,SCAN-7,0003,1.0")):
            r = open_link(rm, name)
            check(f"*IDN? at {name}", r.query("*IDN?"), idn)
            r.close()
        # The counter at 12 answers a trigger with a record and a request
        # for service; clearing it throws the record away.
        counter = open_link(rm, "gpib0,12")
        counter.assert_trigger()
        check("RQS after a trigger", counter.read_stb() & 0x40, 0x40)
        counter.clear()
        try:
            counter.read()
            failures.append("a read after clear answered: the record was not cleared")
        except pyvisa.errors.VisaIOError as e:
            check("read after clear", e.error_code, pyvisa.constants.StatusCode.error_timeout)
        dmm.assert_trigger()  # the multimeter's trigger queues a reading
        check("reading after a trigger at 9", dmm.read(), "+1.234567E+00")
        for r in (dmm, counter):
            r.close()


def sample(specs, default):
    """A valid value other than the default, as the property's setter takes it."""
    kind = specs.get("type", type(default).__name__)
    if "valid" in specs:
        values = [v for v in specs["valid"] if v != default]
        return values[-1]
    if kind == "float":
        return specs.get("min", 0) + (specs.get("max", 10) - specs.get("min", 0)) / 4
    if kind == "int":
        return int(default) + 1
    return default


def expected_dialogue(device):
    """(query, answer or None) in order, as pyvisa-sim answers this device."""
    steps = [(d["q"], d.get("r")) for d in device.get("dialogues", [])]
    for name, prop in device.get("properties", {}).items():
        getter, setter, specs = prop.get("getter"), prop.get("setter"), prop.get("specs", {})
        value = prop["default"]
        if getter:
            steps.append((getter["q"], getter["r"].format(value)))
        if setter:
            value = sample(specs, value)
            steps.append((setter["q"].format(value), setter.get("r")))
            if getter:
                steps.append((getter["q"], getter["r"].format(value)))
            if setter.get("e") is not None and "max" in specs:
                too_big = specs["max"] * 10 + 1
                steps.append((setter["q"].format(too_big), setter["e"]))
    # The error reports: clean at first, then what an unknown command leaves.
    error = device.get("error")
    error = {"response": {"command_error": error}} if isinstance(error, str) else error or {}
    registers = error.get("status_register", [])
    queues = error.get("error_queue", [])
    steps += [(r["q"], "0") for r in registers] + [(q["q"], q["default"]) for q in queues]
    steps.append(("NO SUCH COMMAND", error.get("response", {}).get("command_error")))
    steps += [(r["q"], str(r["command_error"])) for r in registers if "command_error" in r]
    for q in queues:
        if "command_error" in q:
            steps += [(q["q"], q["command_error"]), (q["q"], q["default"])]
    return steps


def default_yaml(emulator_path, yaml_path):
    if not os.path.exists(yaml_path):
        skip(f"pyvisa-sim's default.yaml is not at {yaml_path}")
    import yaml
    with open(yaml_path) as f:
        definition = yaml.safe_load(f)
    pyvisa, rm = resource_manager()
    with Emulator(emulator_path, "--bench", yaml_path):
        for pad in (8, 9, 10, 4):
            device = definition["devices"][definition["resources"][f"GPIB::{pad}::INSTR"]["device"]]
            r = open_link(rm, f"gpib0,{pad}")
            for query, answer in expected_dialogue(device):
                if answer is None:
                    r.write(query)
                else:
                    check(f"{query!r} at {pad}", r.query(query), answer)
            r.close()


def lxi(emulator_path):
    if not shutil.which("lxi"):
        skip("lxi-tools is not installed; scripts/deps.sh installs it")
    # lxi scpi always asks for a link named inst0: the emulator answers that
    # name as the multimeter at 9.
    with Emulator(emulator_path, "--inst0", "9"):
        out = subprocess.run(["lxi", "scpi", "-a", "127.0.0.1", "-t", "3", "*IDN?"],
                             capture_output=True, text=True, timeout=20)
        check("lxi scpi *IDN?", out.stdout.strip(), "SIMULATED BENCH,DMM-9,0001,1.0")


def main():
    emulator, mode = sys.argv[1], sys.argv[2]
    if mode == "pyvisa-builtin":
        builtin_bench(emulator)
    elif mode == "pyvisa-default-yaml":
        default_yaml(emulator, sys.argv[3])
    elif mode == "lxi":
        lxi(emulator)
    else:
        sys.exit(f"unknown mode {mode}")
    for f in failures:
        print("FAILED:", f)
    print(f"{mode}: {checks} checks, {'all passed' if not failures else f'{len(failures)} failed'}")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
