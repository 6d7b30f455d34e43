#!/usr/bin/python3
"""Behaviour of the norvek tool: help, round trips, forms, exit statuses,
messages, the rule that a failed operation leaves no output file, the
streaming commands against the library's whole-input answers, and the batch
mode. The checks are independent and run in parallel, one process each.

usage: cli_behaviour.py NORVEK SCRATCH_DIR
"""
import base64
import hashlib
import hmac
import json
import os
import random
import re
import shutil
import stat
import subprocess
import sys
import threading
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from replay_vectors import replay  # noqa: E402  (the conformance replay's own rules)

TOOL = sys.argv[1]
SCRATCH = sys.argv[2]
KEY16 = "000102030405060708090a0b0c0d0e0f"
failures = []
TASKS = []  # checks that run in parallel at the end

shutil.rmtree(SCRATCH, ignore_errors=True)
os.makedirs(SCRATCH)


def task(fn):
    TASKS.append(fn)
    return fn


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
COMMANDS.append(["batch"])


@task
def helps():
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

def round_trip(forward, backward, data):
    there = run(forward, data)
    back = run(backward, there.stdout)
    check(there.returncode == 0 and back.returncode == 0 and back.stdout == data,
          f"round trip {forward} / {backward} over {len(data)} bytes")
    # The forward direction really changes non-empty data.
    check(not data or there.stdout != data, f"{forward} changes its input")


for forward, backward in PAIRS:
    for data in SAMPLES:
        TASKS.append(lambda f=forward, b=backward, d=data: round_trip(f, b, d))

# Forms, against Python's own digests and codecs.

def forms(data):
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


for data in SAMPLES[:4]:
    TASKS.append(lambda d=data: forms(d))
TASKS.append(lambda: check(len(run(["rand", "40", "--out", "raw"]).stdout) == 40,
                           "rand 40 gives 40 bytes"))
TASKS.append(lambda: check(run(["genid", "--tag", "54", "--version", "01", "--rawid", "0a0b0c0d0e0f",
                                "--positions", "3,5,7,9"]).stdout.split(b"\n")[0][:4] == b"5401",
                           "genid starts with tag and version"))

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

def status(args, data, want):
    r = run(args, data)
    one_line = re.fullmatch(rb"norvek: [^\n]+\n", r.stderr) is not None
    expected_stderr = one_line if want else r.stderr == b""
    check(r.returncode == want and expected_stderr and (want == 0 or r.stdout == b""),
          f"{args} on {data[:20]!r}: status {r.returncode} (want {want}), stderr {r.stderr!r}")


for args, data, want in STATUS_TABLE:
    TASKS.append(lambda a=args, d=data, w=want: status(a, d, w))

# Streaming commands cut their input into pieces of 192 KiB (kPiece in
# tools/tool_io.h). Inputs around those cuts, through each command, must give
# what the library gives for the whole input: the batch mode answers each as
# a conformance case, and the replay's own rules say what the command must do.
PIECE = 192 * 1024
big = bytes(rng.getrandbits(8) for _ in range(2 * PIECE + 5))
b64 = base64.b64encode(big)
hx = big.hex().encode()
uri = "".join(f"%{b:02X}" if b > 127 else chr(b) if chr(b).isalnum() else f"%{b:02x}"
              for b in big[:PIECE]).encode()


def at(text, position, insert):
    return text[:position] + insert + text[position + len(insert):]


STREAM_CASES = [("sha1", big), ("sign", big), ("sha1", big[:PIECE]), ("sign", big[:PIECE + 63])]
STREAM_CASES += [(s, big[:n]) for s in ("hex_encode", "base64_encode", "uri_encode")
                 for n in (PIECE - 1, PIECE + 1, 2 * PIECE + 5)]
# Most texts only need to cross the first cut; a late refusal needs more
# output before it than standard output takes in memory.
hx1, b641 = hx[:PIECE + PIECE // 4], b64[:PIECE + PIECE // 4]
STREAM_CASES += [("hex_decode", t) for t in (hx1, hx1[:-1], at(hx1, PIECE, b"zz"),
                                             at(hx, 3 * PIECE, b"0g"), at(hx1, PIECE - 1, b" "))]
STREAM_CASES += [("base64_decode", t) for t in (
    b64, b641[:-2], b64[:PIECE + 3], at(b641, PIECE - 4, b"aGk="), at(b641, PIECE - 4, b"aA=="),
    at(b641, PIECE, b"\0"), at(b641, PIECE + 1, b"\0"), at(b641, PIECE - 1, b"\n"),
    at(b641, PIECE + 2, b"="))]
STREAM_CASES += [("uri_decode", t) for t in (
    uri, at(uri, PIECE - 1, b"%41"), at(uri, PIECE - 2, b"%41"), at(uri, PIECE - 1, b"%4g"),
    at(uri, PIECE - 2, b"%%41"), uri + b"%4", uri + b"%", at(uri, len(uri) - 9, b"\0"),
    at(uri, len(uri) - 9, b"%zz"))]
STREAM_CASES += [("hmac_sha1", big[:PIECE + 1], {"key": key.hex()}) for key in (b"", b"k" * 20, b"K" * 100)]
# The codec class encodes byte triples on their own: cut into pieces of whole
# triples, its text is the whole input's, padding only at the very end.
STREAM_CASES += [("base64_class", big[:n], {"operation": op, **({"padded": p} if p is not None else {})})
                 for op, p in (("encodeData", None), ("webSafeEncodeData", True), ("webSafeEncodeData", False))
                 for n in (PIECE - 1, PIECE, PIECE + 1, 2 * PIECE + 5)]


def stream_cases():
    requests = [{"scheme": c[0], **(c[2] if len(c) > 2 else {}), "input": c[1].hex()} for c in STREAM_CASES]
    r = run(["batch"], "".join(json.dumps(q) + "\n" for q in requests).encode())
    answers = [json.loads(line) for line in r.stdout.splitlines()]
    check(r.returncode == 0 and len(answers) == len(requests), "batch answers every request")
    return answers


def stream_check(case):
    error = replay(TOOL, case)
    check(error is None, f"streaming: {error}")


# Output forms and the hex input form stream too.
FORM_CASES = [(["hex", "encode", "--out", "base64"], big, base64.b64encode(big.hex().encode()) + b"\n"),
              (["base64", "encode", "--out", "hex"], big, b64.hex().encode() + b"\n"),
              (["sha1", "--in", "hex", "--out", "raw"], b" \n".join([hx[:PIECE + 1], hx[PIECE + 1:]]),
               hashlib.sha1(big).digest()),
              (["uri", "encode", "--in", "hex"], at(hx, PIECE + 2, b"z"), None),
              (["base64", "encode", "--no-padding"], big[:PIECE + 1], base64.b64encode(big[:PIECE + 1]).rstrip(b"=")),
              (["base64", "encode", "--web-safe", "--out", "hex"], big,
               base64.urlsafe_b64encode(big).hex().encode() + b"\n")]


def form_check(args, data, expected):
    r = run(args, data)
    if expected is None:
        check(r.returncode == 1 and r.stdout == b"", f"{args}: status {r.returncode}")
    else:
        check(r.returncode == 0 and r.stdout == expected, f"{args}: status {r.returncode}")


for args, data, expected in FORM_CASES:
    TASKS.append(lambda a=args, d=data, e=expected: form_check(a, d, e))


@task
def output_file():
    # -o: complete or untouched, and no temporary file left behind.
    folder = os.path.join(SCRATCH, "out")
    os.makedirs(folder)
    target = os.path.join(folder, "out.bin")
    r = run(["hex", "decode", "-o", target], b"00zz")
    check(r.returncode == 1 and not os.path.exists(target), "failed op creates no file")
    with open(target, "wb") as f:
        f.write(b"keep")
    for args, data in [(["hex", "decode", "-o", target], b"00zz"),
                       (["hex", "decode", "-o", target], at(hx, 3 * PIECE, b"0g")),
                       (["uri", "decode", "-o", target], uri + b"%"),
                       (["decrypt", "--key-hex", KEY16, "-o", target], b"y" * 32),
                       (["sha1", "-o", target, os.path.join(SCRATCH, "missing")], b"")]:
        r = run(args, data)
        with open(target, "rb") as f:
            check(r.returncode == 1 and f.read() == b"keep", f"failed {args} keeps the old file")
    r = run(["hex", "decode", "-o", target], b"6869")
    with open(target, "rb") as f:
        check(r.returncode == 0 and r.stdout == b"" and f.read() == b"hi", "success replaces the file")
    r = run(["base64", "encode", "-o", target], big)
    with open(target, "rb") as f:
        check(r.returncode == 0 and f.read() == b64, "a streamed output file is complete")
    check(os.listdir(folder) == ["out.bin"], f"no temporary files: {os.listdir(folder)}")
    r = run(["hex", "encode", "-o", os.path.join(SCRATCH, "no", "such", "dir")], b"x")
    check(r.returncode == 1 and r.stderr.count(b"\n") == 1, "unwritable output is a failure")


# Whole-input commands read a named regular file another way than a pipe (in
# one pass into memory of its size): the same answers either way, an empty
# file and one past a huge page (2 MiB) among them. (arguments, input)
CIPHERED = run(["encrypt", "--key-hex", KEY16], SAMPLES[4]).stdout
FILE_TABLE = [(["encrypt", "--key-hex", KEY16], d) for d in (b"", b"x", bytes(range(256)), SAMPLES[4])]
FILE_TABLE += [(["decrypt", "--key-hex", KEY16], d) for d in (
    b"", b"x" * 15, b"y" * 32, CIPHERED, run(["encrypt", "--key-hex", KEY16]).stdout)]
FILE_TABLE += [(["encrypt", "--key-hex", "00"], b"x"), (["decrypt", "--key-hex", KEY16, "--in", "hex",
                                                          "--out", "base64"], CIPHERED.hex().encode()),
               (["encrypt", "--key-hex", KEY16, "--in", "base64", "--out", "hex"], b64),
               (["system-aes128", "encrypt", "--key", "k"], SAMPLES[4]), (["aes256", "decrypt"], b"x" * 5),
               (["transform", "--row", "7"], b""), (["base64", "decode", "--web-safe"], b"a+==")]
# Past 3 MiB a named file makes the tool reserve heap room for the library's
# areas first; the answers must not change.
FILE_TABLE += [(["chain", "encrypt", "--list", "3,0,45"], SAMPLES[4]),
               (["system-aes128", "decrypt", "--key", "k"],
                run(["system-aes128", "encrypt", "--key", "k"], SAMPLES[4]).stdout)]


@task
def file_inputs():
    folder = os.path.join(SCRATCH, "files")
    os.makedirs(folder)
    for i, (args, data) in enumerate(FILE_TABLE):
        path = os.path.join(folder, str(i))
        with open(path, "wb") as f:
            f.write(data)
        piped, named = run(args, data), run(args + [path])
        check((named.returncode, named.stdout, named.stderr) == (piped.returncode, piped.stdout, piped.stderr),
              f"{args} on a {len(data)}-byte file: status {named.returncode}, piped {piped.returncode}")


def count_in_memory(pid, needle):
    """How often `needle` occurs in the process's writable mappings, read
    through /proc; the address sanitizer's shadow areas (terabytes) are skipped."""
    found = 0
    with open(f"/proc/{pid}/maps") as maps, open(f"/proc/{pid}/mem", "rb") as mem:
        for line in maps:
            span, perms = line.split()[:2]
            start, end = (int(x, 16) for x in span.split("-"))
            if "w" not in perms or end - start > 1 << 30:
                continue
            tail = b""
            for at in range(start, end, 1 << 20):
                try:
                    mem.seek(at)
                    chunk = tail + mem.read(min(1 << 20, end - at))
                except (OSError, ValueError):
                    break
                found += chunk.count(needle)
                tail = chunk[-(len(needle) - 1):]
    return found


@task
def refused_decode_wiped():
    # Text the codec class refuses at its last character has been decoded up
    # to there: that prefix is gone once the answer is given. The batch mode
    # lives on after the refusal, holding only the text, while it waits for
    # its next request.
    secret = random.Random(0xDEC).randbytes(600)  # a block the allocator keeps for reuse
    for op, text in (("decodeData", base64.b64encode(secret) + b"!"),
                     ("webSafeDecodeData", base64.urlsafe_b64encode(secret) + b"*")):
        p = subprocess.Popen([TOOL, "batch"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
        try:
            request = {"scheme": "base64_class", "operation": op, "input": text.hex()}
            p.stdin.write(json.dumps(request).encode() + b"\n")
            p.stdin.flush()
            answer = json.loads(p.stdout.readline())
            # 8 bytes from the middle, clear of what the allocator writes into freed blocks.
            found = count_in_memory(p.pid, secret[300:308])
        finally:
            p.stdin.close()
            p.stdout.read()
            p.wait()
        check(answer.get("output", "") is None and found == 0,
              f"codec class {op} of refused text: its decoded prefix found {found} times, output {answer.get('output')}")


@task
def hmac_key_wiped():
    # Once the digest is keyed, the key's bytes are gone from the process
    # (the hex text stays in the arguments): looked for while it waits for input.
    for size in (20, 32, 64, 65, 100):
        key = bytes((0xA5 ^ (i * 7)) & 0xFF for i in range(size))
        p = subprocess.Popen([TOOL, "hmac-sha1", "--key-hex", key.hex()], stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            p.stdin.write(b"x")
            p.stdin.flush()
            waiting = False
            for _ in range(600):  # until it sleeps in a read of its input
                with open(f"/proc/{p.pid}/stat") as f:
                    waiting = f.read().rsplit(")", 1)[1].split()[0] == "S"
                if waiting:
                    break
                threading.Event().wait(0.05)
            # Any 8 bytes of it, clear of what the allocator writes into freed blocks.
            window = key[size // 2 - 4:size // 2 + 4]
            found = count_in_memory(p.pid, window)
        finally:
            p.stdin.close()
            out = p.stdout.read()
            p.wait()
        check(waiting and found == 0 and out == hmac.new(key, b"x", hashlib.sha1).hexdigest().encode() + b"\n",
              f"hmac-sha1 with a {size}-byte key: the key found {found} times while digesting")


# Commands whose input is plaintext: (arguments, input, the secrets in it,
# read from a named file). Past 3 MiB a named file's input comes from heap
# room the tool reserves, where freed bytes stay; a small input is freed
# into the heap too.
DRAW = random.Random(0x5EC)
PLAIN, KEY = DRAW.randbytes(96), DRAW.randbytes(16)
# The bridge's key is text in the arguments, where it stays: only the buffer
# cipher's key bytes are looked for.
FORMS = (("raw", PLAIN), ("hex", PLAIN.hex().encode()), ("base64", base64.b64encode(PLAIN)))
WIPED_TABLE = [(["encrypt", "--key-hex", KEY.hex(), "--in", form], text, {PLAIN, text, KEY}, False)
               for form, text in FORMS]
WIPED_TABLE += [(bridge + ["--in", form], text, {PLAIN, text}, False)
                for bridge in (["system-aes128", "encrypt", "--key", "k"], ["aes256", "encrypt"])
                for form, text in FORMS]
WIPED_TABLE += [(["system-aes128", "encrypt", "--key", "k"], SAMPLES[4], {SAMPLES[4]}, True),
                (["aes256", "encrypt"], SAMPLES[4], {SAMPLES[4]}, True)]


def output_of(fifo, p):
    """Everything `p` writes to `fifo` once it opens it (nothing if it never does)."""
    reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)  # no wait for a writer
    os.set_blocking(reader, True)
    got = []
    while chunk := os.read(reader, 1 << 20):
        got.append(chunk)
    os.close(reader)
    p.wait()
    return b"".join(got)


@task
def encrypt_input_wiped():
    # Once enciphered, the plaintext (in every input form, its text forms'
    # copies included) and the key's bytes are gone from the process: looked
    # for while the output waits for a FIFO's reader.
    folder = os.path.join(SCRATCH, "encrypt-wiped")
    os.makedirs(folder)
    fifo = os.path.join(folder, "fifo")
    os.mkfifo(fifo)
    for i, (args, text, secrets, named) in enumerate(WIPED_TABLE):
        path = os.path.join(folder, str(i))
        with open(path, "wb") as f:
            f.write(text)
        p = subprocess.Popen([TOOL] + args + [path if named else "-", "-o", fifo],
                             stdin=subprocess.DEVNULL if named else subprocess.PIPE,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            if not named:
                p.stdin.write(text)
                p.stdin.close()
            waiting = False
            for _ in range(600):  # until it sleeps opening the FIFO
                with open(f"/proc/{p.pid}/stat") as f:
                    waiting = f.read().rsplit(")", 1)[1].split()[0] == "S"
                if waiting:
                    break
                threading.Event().wait(0.05)
            # 8 bytes from the middle of each, clear of what the allocator writes into freed blocks.
            found = [count_in_memory(p.pid, t[len(t) // 2 - 4:len(t) // 2 + 4]) for t in secrets]
        finally:
            got = output_of(fifo, p)
        check(waiting and not any(found) and got == run(args, text).stdout,
              f"{args} on {len(text)} bytes{' from a named file' if named else ''}: its input or "
              f"key found {found} times while the output waits")


def special_targets(folder):
    """Existing files that are not regular, with how to tell each is intact:
    (name, path, check). A device node needs root; a FIFO does not."""
    targets = []
    try:
        os.mknod(os.path.join(folder, "null"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
        targets.append(("device", os.path.join(folder, "null"), stat.S_ISCHR))
    except OSError:
        pass
    os.mkfifo(os.path.join(folder, "fifo"))
    targets.append(("FIFO", os.path.join(folder, "fifo"), stat.S_ISFIFO))
    for name, path, kind in list(targets):
        link = os.path.join(folder, "to-" + os.path.basename(path))
        os.symlink(os.path.basename(path), link)
        targets.append(("link to " + name, link, kind))
    return targets


@task
def output_special():
    # -o on an existing device or FIFO writes to it; it is never replaced.
    folder = os.path.join(SCRATCH, "special")
    os.makedirs(folder)
    fifo = os.path.join(folder, "fifo")
    for name, path, kind in special_targets(folder):
        for args, data, want in [(["hex", "encode"], b"hi", b"6869"), (["hex", "decode"], b"00zz", b""),
                                 (["uri", "decode"], b"a%41", b"aA")]:
            # A reader that never blocks, so that a replaced FIFO cannot hang the check.
            reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
            try:
                r = run(args + ["-o", path], data)
                got = os.read(reader, 1 << 16) if os.path.exists(fifo) else b""
            finally:
                os.close(reader)
            real = os.path.realpath(path)
            intact = os.path.lexists(path) and kind(os.stat(path).st_mode)
            check(intact and os.path.islink(path) == (path != real), f"-o {name}: replaced by a file")
            check(r.returncode == (0 if want else 1) and r.stdout == b""
                  and (kind != stat.S_ISFIFO or got == want),
                  f"-o {name} {args}: status {r.returncode}, wrote {got!r}")
    check(not [n for n in os.listdir(folder) if "." in n],  # temporary files are FILE.XXXXXX
          f"-o on special files leaves no temporary files: {os.listdir(folder)}")
    # A symbolic link to a regular file stays a link; the file it names is replaced.
    target = os.path.join(folder, "file")
    with open(target, "wb") as f:
        f.write(b"old")
    os.symlink("file", os.path.join(folder, "to-file"))
    r = run(["hex", "decode", "-o", os.path.join(folder, "to-file")], b"6869")
    with open(target, "rb") as f:
        check(r.returncode == 0 and os.path.islink(os.path.join(folder, "to-file")) and f.read() == b"hi",
              "-o through a link replaces the file it names")


@task
def batch_lines():
    # A malformed line gets an error line, and the process goes on.
    lines = [b'{"scheme":"sha1","input":"616263"}', b"not json", b"[1]", b'{"scheme":"nope"}',
             b'{"scheme":"sha1"}', b'{"scheme":"sha1","input":"abc"}',
             b'{"scheme":"hotp","input":"","digits":4294967296}', b'{"scheme":"transform","row":0,"input":""}',
             b'{"scheme":"chain_encrypt","list":[1,"x"],"input":""}', b"",
             b'{"scheme":"aes256_encrypt","key":7,"input":""}',
             b'{"scheme":"base64_class","operation":"webSafeEncodeData","input":""}',
             b'{"scheme":"hotp","input":"","digits":1e400}', b'{"scheme":"sha1","input":"","x":-1e400}',
             b'{"scheme":"sha1","input":"00"}\0{"scheme":"sha1","input":"00"}',
             b'{"scheme":"sign","input":"6869"}']
    r = run(["batch"], b"\n".join(lines) + b"\n")
    answers = [json.loads(line) for line in r.stdout.splitlines()]
    ok = r.returncode == 0 and r.stderr == b"" and len(answers) == len(lines)
    check(ok and answers[0]["output"] == hashlib.sha1(b"abc").hexdigest(), "batch answers a request")
    check(ok and all(set(a) == {"line", "error"} and a["line"] == i + 1
                     for i, a in enumerate(answers[1:-1], 1)), f"batch error lines: {answers}")
    check(ok and answers[-1] == {"scheme": "sign", "input": "6869",
                                 "output": run(["sign"], b"hi").stdout.decode().strip()},
          "batch goes on after errors")


@task
def batch_flushes():
    # Each answer is out before the next request comes: one process can
    # serve a peer line by line.
    p = subprocess.Popen([TOOL, "batch"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    answers = []
    for data in (b"a", b"bc"):
        p.stdin.write(json.dumps({"scheme": "sha1", "input": data.hex()}).encode() + b"\n")
        p.stdin.flush()
        reader = threading.Thread(target=lambda: answers.append(p.stdout.readline()))
        reader.start()
        reader.join(120)
        if reader.is_alive():
            break
    p.stdin.close()
    p.stdout.read()
    p.wait()
    check([json.loads(a)["output"] for a in answers if a]
          == [hashlib.sha1(b"a").hexdigest(), hashlib.sha1(b"bc").hexdigest()],
          "batch answers each line before the next arrives")


with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
    streamed = pool.submit(stream_cases)
    for future in [pool.submit(t) for t in TASKS]:
        future.result()
    for future in [pool.submit(stream_check, c) for c in streamed.result()]:
        future.result()

for f in failures:
    print("FAIL", f)
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
