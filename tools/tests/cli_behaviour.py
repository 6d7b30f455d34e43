#!/usr/bin/python3
"""Behaviour of the norvek tool: help, round trips, forms, exit statuses,
messages and the rule that a failed operation leaves no output file.

usage: cli_behaviour.py NORVEK SCRATCH_DIR
"""
import base64
import hashlib
import hmac
import os
import random
import re
import shutil
import subprocess
import sys

TOOL = sys.argv[1]
SCRATCH = sys.argv[2]
KEY16 = "000102030405060708090a0b0c0d0e0f"
failures = []


def run(args, data=b""):
    return subprocess.run([TOOL] + args, input=data, capture_output=True)


def check(ok, what):
    if not ok:
        failures.append(what)


# Every command and group answers --help with a usage and an example.
COMMANDS = [[], ["hex"], ["hex", "encode"], ["hex", "decode"], ["base64"], ["base64", "encode"],
            ["base64", "decode"], ["uri"], ["uri", "encode"], ["uri", "decode"], ["sha1"],
            ["hmac-sha1"], ["sign"], ["rand"], ["hotp"], ["genid"], ["encrypt"], ["decrypt"],
            ["system-aes128"], ["system-aes128", "encrypt"], ["system-aes128", "decrypt"],
            ["aes256"], ["aes256", "encrypt"], ["aes256", "decrypt"], ["chain"],
            ["chain", "encrypt"], ["chain", "decrypt"], ["chain", "undo"], ["transform"],
            ["vectors"]]
for cmd in COMMANDS:
    r = run(cmd + ["--help"])
    check(r.returncode == 0 and b"Usage:" in r.stdout and b"Example:" in r.stdout,
          f"help of {cmd}: status {r.returncode}")

# Round trips: forward then backward gives the input back.
rng = random.Random(11)
SAMPLES = [b"", b"\x00", bytes(range(256)), bytes(rng.getrandbits(8) for _ in range(1000)),
           os.urandom(3 << 20)]
PAIRS = [
    (["hex", "encode"], ["hex", "decode"]),
    (["base64", "encode"], ["base64", "decode"]),
    (["base64", "encode", "--class"], ["base64", "decode", "--class"]),
    (["base64", "encode", "--no-padding"], ["base64", "decode", "--no-padding"]),
    (["base64", "encode", "--web-safe"], ["base64", "decode", "--web-safe"]),
    (["base64", "encode", "--web-safe", "--no-padding"], ["base64", "decode", "--web-safe"]),
    (["uri", "encode"], ["uri", "decode"]),
    (["encrypt", "--key-hex", KEY16], ["decrypt", "--key-hex", KEY16]),
    (["system-aes128", "encrypt", "--key", "k\u00e9y"], ["system-aes128", "decrypt", "--key", "k\u00e9y"]),
    (["aes256", "encrypt"], ["aes256", "decrypt"]),
    (["chain", "encrypt", "--list", "3,0,45,7,7"], ["chain", "undo", "--list", "3,0,45,7,7"]),
    (["chain", "encrypt", "--ex", "--list", "50,91,3"], ["chain", "undo", "--ex", "--list", "50,91,3"]),
    (["transform", "--row", "26"], ["transform", "--row", "26", "--reverse"]),
]
for forward, backward in PAIRS:
    for data in SAMPLES:
        there = run(forward, data)
        back = run(backward, there.stdout)
        check(there.returncode == 0 and back.returncode == 0 and back.stdout == data,
              f"round trip {forward} / {backward} over {len(data)} bytes")
    # The forward direction really changes non-empty data.
    check(run(forward, SAMPLES[2]).stdout != SAMPLES[2], f"{forward} changes its input")

# Forms, against Python's own digests and codecs.
for data in SAMPLES[:4]:
    digest = hashlib.sha1(data).digest()
    mac = hmac.new(b"key", data, hashlib.sha1).digest()
    check(run(["sha1"], data).stdout == digest.hex().encode() + b"\n", "sha1 prints hex")
    check(run(["sha1", "--out", "base64"], data).stdout == base64.b64encode(digest) + b"\n",
          "sha1 --out base64")
    check(run(["sha1", "--in", "hex"], data.hex().upper().encode() + b"\n").stdout
          == digest.hex().encode() + b"\n", "sha1 --in hex")
    check(run(["sha1", "--in", "base64", "--out", "raw"], base64.encodebytes(data)).stdout == digest,
          "sha1 --in base64")
    check(run(["hmac-sha1", "--key-hex", b"key".hex()], data).stdout == mac.hex().encode() + b"\n",
          "hmac-sha1")
    check(run(["base64", "encode", "--web-safe", "--no-padding"], data).stdout
          == base64.urlsafe_b64encode(data).rstrip(b"="), "web-safe unpadded Base64")
check(len(run(["rand", "40", "--out", "raw"]).stdout) == 40, "rand 40 gives 40 bytes")
check(run(["genid", "--tag", "54", "--version", "01", "--rawid", "0a0b0c0d0e0f", "--positions",
           "3,5,7,9"]).stdout.split(b"\n")[0][:4] == b"5401", "genid starts with tag and version")

# Exit statuses and one-line messages: (arguments, input, status).
BAD_KEY = "0123456789abcdef" * 2 + "!"
STATUS_TABLE = [
    ([], b"", 2), (["bogus"], b"", 2), (["hex"], b"", 2), (["rand", "-1"], b"", 2),
    (["rand", "x"], b"", 2), (["transform", "--row", "47"], b"", 2), (["hmac-sha1"], b"", 2),
    (["hmac-sha1", "--key-hex", "zz"], b"", 2), (["chain", "encrypt", "--list", "1,x"], b"", 2),
    (["chain", "encrypt", "--list", "99999999999"], b"", 2), (["sha1", "--out", "text"], b"", 2),
    (["genid", "--positions", "2,3,4,5", "--out", "raw"], b"", 2),
    ([b"aes256", b"encrypt", b"--key", b"\xff"], b"x", 2),
    (["hex", "decode"], b"abc", 1), (["hex", "decode"], b"zz", 1),
    (["base64", "decode", "--class"], b"a", 1), (["base64", "decode", "--web-safe"], b"a+==", 1),
    (["uri", "decode"], b"%zz", 1), (["uri", "decode"], b"a%4", 1), (["uri", "decode"], b"a\0", 1),
    (["encrypt", "--key-hex", "00"], b"x", 1), (["decrypt", "--key-hex", KEY16], b"x" * 15, 1),
    (["decrypt", "--key-hex", KEY16], b"", 1), (["decrypt", "--key-hex", KEY16], b"x" * 16, 1),
    (["chain", "encrypt", "--list", "46"], b"x", 1), (["chain", "decrypt", "--list", "3,-1"], b"", 1),
    (["chain", "encrypt", "--ex", "--list=-1"], b"x", 1), (["hotp", "--digits", "13"], b"", 1),
    (["hotp", "--digits", "0"], b"x", 1), (["genid", "--positions", "2,3,4"], b"", 1),
    (["system-aes128", "encrypt"], b"x", 1), (["system-aes128", "encrypt", "--key", ""], b"x", 1),
    (["system-aes128", "encrypt", "--key", BAD_KEY], b"x", 1),
    (["aes256", "decrypt", "--key", "k"], b"x" * 5, 1), (["sha1", "--in", "hex"], b"zz", 1),
    (["sha1", "--in", "base64"], b"a", 1), (["sha1", os.path.join(SCRATCH, "missing")], b"", 1),
    (["decrypt", "--key-hex", KEY16], run(["encrypt", "--key-hex", KEY16]).stdout, 0),
    (["system-aes128", "decrypt"], b"", 0), (["chain", "encrypt", "--list", ""], b"", 0),
]
for args, data, status in STATUS_TABLE:
    r = run(args, data)
    one_line = re.fullmatch(rb"norvek: [^\n]+\n", r.stderr) is not None
    expected_stderr = one_line if status else r.stderr == b""
    check(r.returncode == status and expected_stderr and (status == 0 or r.stdout == b""),
          f"{args} on {data[:20]!r}: status {r.returncode} (want {status}), stderr {r.stderr!r}")

# -o: complete or untouched, and no temporary file left behind.
shutil.rmtree(SCRATCH, ignore_errors=True)
os.makedirs(SCRATCH)
target = os.path.join(SCRATCH, "out.bin")
r = run(["hex", "decode", "-o", target], b"00zz")
check(r.returncode == 1 and not os.path.exists(target), "failed op creates no file")
with open(target, "wb") as f:
    f.write(b"keep")
for args, data in [(["hex", "decode", "-o", target], b"00zz"),
                   (["decrypt", "--key-hex", KEY16, "-o", target], b"y" * 32),
                   (["sha1", "-o", target, os.path.join(SCRATCH, "missing")], b"")]:
    r = run(args, data)
    with open(target, "rb") as f:
        check(r.returncode == 1 and f.read() == b"keep", f"failed {args} keeps the old file")
r = run(["hex", "decode", "-o", target], b"6869")
with open(target, "rb") as f:
    check(r.returncode == 0 and r.stdout == b"" and f.read() == b"hi", "success replaces the file")
check(os.listdir(SCRATCH) == ["out.bin"], f"no temporary files: {os.listdir(SCRATCH)}")
r = run(["hex", "encode", "-o", os.path.join(SCRATCH, "no", "such", "dir")], b"x")
check(r.returncode == 1 and r.stderr.count(b"\n") == 1, "unwritable output is a failure")

for f in failures:
    print("FAIL", f)
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
