#!/usr/bin/env python3
"""The ctypes client (ctypes_client.py) under tm-gpib-run, unchanged, on the
simulated bench and on the emulated Prologix adapter (tm-adapter-emulator on
a pseudo-terminal), each named by a board map with --boards.

    test_ctypes_client.py TM_GPIB_RUN TM_ADAPTER_EMULATOR
"""
import os
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
run, emulator = sys.argv[1], sys.argv[2]
client = os.path.join(here, "ctypes_client.py")
failures = 0


def client_on(board_map, label):
    global failures
    env = dict(os.environ)
    env.pop("GPIB_SIM_BENCH", None)
    result = subprocess.run([run, "--boards", board_map, sys.executable, client, "9",
                             "SIMULATED BENCH,DMM-9", "dmm"],
                            env=env, capture_output=True, text=True, timeout=60)
    print("--- %s\n%s%s" % (label, result.stdout, result.stderr))
    if result.returncode != 0:
        failures += 1
        print("FAIL: the client on %s exited with %d" % (label, result.returncode))


# tm-gpib-run refuses what it cannot run, saying why.
for args, said in ((["--boards", "/nonexistent/boards.yaml", "true"], "cannot be read"),
                   ([], "usage"), (["--bogus", "true"], "unknown option")):
    result = subprocess.run([run] + args, capture_output=True, text=True, timeout=10)
    if result.returncode != 2 or said not in result.stderr:
        failures += 1
        print("FAIL: tm-gpib-run %s: %d %r" % (args, result.returncode, result.stderr))

with tempfile.TemporaryDirectory() as scratch:
    sim_map = os.path.join(scratch, "sim.yaml")
    with open(sim_map, "w") as f:
        f.write("boards:\n  GPIB0: {kind: simulated}\n"
                "devices:\n  dmm: {board: GPIB0, pad: 9, timeout: T3s}\n")
    client_on(sim_map, "the simulated bench")

    link = os.path.join(scratch, "prologix")
    # The emulator is a program of ours with the sanitizers' runtime of its
    # own: what this Python process had preloaded is not for it.
    own_env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    adapter = subprocess.Popen([emulator, "--flavour", "prologix", "--link", link,
                                "--exit-on-stdin-eof"], env=own_env,
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        first = adapter.stdout.readline()
        if not os.path.exists(link):
            print("FAIL: the emulator did not start (%r)" % first)
            failures += 1
        else:
            adapter_map = os.path.join(scratch, "prologix.yaml")
            with open(adapter_map, "w") as f:
                f.write("boards:\n  GPIB0: {kind: prologix, port: %s}\n"
                        "devices:\n  dmm: {board: GPIB0, pad: 9}\n" % link)
            client_on(adapter_map, "the emulated Prologix adapter")
    finally:
        adapter.stdin.close()  # the emulator ends when its standard input does
        adapter.terminate()
        try:
            adapter.wait(timeout=10)
        except subprocess.TimeoutExpired:
            adapter.kill()
            adapter.wait()

print("%d passed, %d failed" % (2 - failures, failures))
sys.exit(1 if failures else 0)
