#!/usr/bin/env python3
"""A Python GPIB client in the manner of gpib-ctypes: it loads libgpib.so.0
by name, as written for linux-gpib, and knows nothing of our driver. Run
under tm-gpib-run. Asks the instrument at the given primary address for its
identity, polls, triggers and clears it, and checks each status; prints one
line a step and exits with the number of steps that went wrong.

    ctypes_client.py PAD EXPECTED_IDN_PREFIX [DEVICE_NAME]
"""
import ctypes
import sys

ERR, TIMO, END, RQS, CMPL = 0x8000, 0x4000, 0x2000, 0x800, 0x100
EARG = 4
T3s = 12

lib = ctypes.CDLL("libgpib.so.0")
for name, argtypes in (
    ("ibdev", [ctypes.c_int] * 6),
    ("ibfind", [ctypes.c_char_p]),
    ("ibwrt", [ctypes.c_int, ctypes.c_char_p, ctypes.c_long]),
    ("ibrd", [ctypes.c_int, ctypes.c_char_p, ctypes.c_long]),
    ("ibrsp", [ctypes.c_int, ctypes.c_char_p]),
    ("ibtrg", [ctypes.c_int]),
    ("ibclr", [ctypes.c_int]),
    ("ibonl", [ctypes.c_int, ctypes.c_int]),
    ("ibtmo", [ctypes.c_int, ctypes.c_int]),
):
    getattr(lib, name).argtypes = argtypes
    getattr(lib, name).restype = ctypes.c_int
lib.ThreadIbsta.restype = ctypes.c_int
lib.ThreadIbcntl.restype = ctypes.c_long
lib.ThreadIberr.restype = ctypes.c_int


def ibsta():
    return ctypes.c_int.in_dll(lib, "ibsta").value


def ibcntl():
    return ctypes.c_long.in_dll(lib, "ibcntl").value


failures = 0


def check(good, step):
    global failures
    print(("ok   " if good else "FAIL ") + step +
          " (ibsta 0x%04x iberr %d ibcntl %d)" % (ibsta() & 0xFFFF, lib.ThreadIberr(), ibcntl()))
    failures += 0 if good else 1


def query(ud, text):
    lib.ibwrt(ud, text, len(text))
    check(not ibsta() & ERR and ibcntl() == len(text), "ibwrt %r" % text)
    buf = ctypes.create_string_buffer(256)
    status = lib.ibrd(ud, buf, 256)
    check(status == ibsta() == lib.ThreadIbsta() and status & END and not status & ERR,
          "ibrd: END, the globals and the thread's status agree")
    return buf.raw[:ibcntl()]


pad, expected = int(sys.argv[1]), sys.argv[2].encode()
ud = lib.ibdev(0, pad, 0, T3s, 1, 0)
check(ud >= 0 and ibsta() == CMPL, "ibdev %d" % pad)
answer = query(ud, b"*IDN?\n")
check(answer.startswith(expected) and answer.endswith(b"\n"), "the answer %r" % answer)

status_byte = ctypes.create_string_buffer(1)
lib.ibrsp(ud, status_byte)
check(not ibsta() & ERR, "ibrsp: status byte %d" % status_byte.raw[0])
lib.ibtrg(ud)
check(not ibsta() & ERR, "ibtrg")
lib.ibclr(ud)
check(not ibsta() & ERR, "ibclr")

if len(sys.argv) > 3:
    named = lib.ibfind(sys.argv[3].encode())
    check(named >= 0 and named != ud, "ibfind %s: a device of the board map" % sys.argv[3])
    answer = query(named, b"*IDN?\n")
    check(answer.startswith(expected), "the named device answers %r" % answer)

lib.ibonl(ud, 0)
check(not ibsta() & ERR, "ibonl 0")
lib.ibtmo(ud, T3s)
check(ibsta() & ERR and lib.ThreadIberr() == EARG, "a closed descriptor: EARG")
print("%d failed" % failures)
sys.exit(failures)
