#!/usr/bin/python3
"""Replays every case of the conformance vector file through the norvek tool.

usage: replay_vectors.py NORVEK conformance.json

Every case goes through one `norvek batch` process: its request (the case
without its answer fields) must come back with exactly the recorded answers.
A sample of the cases (every scheme's first success and first failure, and
every SAMPLE_EVERY-th case) also runs through the tool's own commands, one
process each: a case whose recorded answer is the library's failure answer
must make the tool exit with status 1, an empty standard output and a
one-line message; any other case must give exactly the recorded bytes.
"""
import collections
import json
import os
import re
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

HEX_TEXT = re.compile(rb"\A(?:[0-9A-Fa-f]{2})*\Z")
BAD_ESCAPE = re.compile(rb"%(?![0-9A-Fa-f]{2})")

# The codec class operations and the tool flags that reach them.
CLASS_FLAGS = {
    "encodeData": ["encode", "--class"],
    "stringByEncodingData": ["encode", "--class"],
    "webSafeEncodeData": ["encode", "--web-safe"],
    "stringByWebSafeEncodingData": ["encode", "--web-safe"],
    "decodeData": ["decode", "--class"],
    "decodeString": ["decode", "--class"],
    "webSafeDecodeData": ["decode", "--web-safe"],
    "webSafeDecodeString": ["decode", "--web-safe"],
}


def join(values):
    return ",".join(str(v) for v in values)


def plan(case):
    """(arguments, standard input, expected output or None for failure)."""
    s = case["scheme"]
    data = bytes.fromhex(case.get("input") or "")
    out = case.get("output")
    expected = bytes.fromhex(out) if isinstance(out, str) else None
    if s in ("transform", "transform_reverse"):
        args = ["transform", "--row", str(case["row"])] + (["--reverse"] if s.endswith("reverse") else [])
        return args, data, expected
    if s.startswith("chain_"):
        ex = s.endswith("_ex")
        refused = any(v < 0 or (not ex and v > 45) for v in case["list"])
        # "--list=" with nothing after it would take the next argument.
        listed = [f"--list={join(case['list'])}"] if case["list"] else ["--list", ""]
        args = ["chain", s.split("_")[1]] + listed + (["--ex"] if ex else [])
        assert case["result"] == len(expected), case
        return args, data, None if case["result"] == 0 and (data or refused) else expected
    if s in ("buffer_encrypt", "buffer_decrypt"):
        key = case["key"]
        failed = case["result"] == 0 and (
            s == "buffer_encrypt" or len(key) < 32 or not data or expected != b"")
        return [s.split("_")[1], "--key-hex", key], data, None if failed else expected
    if s in ("sha1", "sign"):
        return [s, "--out=raw"], data, expected
    if s == "hmac_sha1":
        return ["hmac-sha1", "--key-hex", case["key"], "--out=raw"], data, expected
    if s == "hotp":
        return ["hotp", f"--digits={case['digits']}", "--out=raw"], data, expected or None
    if s == "generate_id":
        args = ["genid", "--tag", case["tag"], "--version", case["version"], "--rawid",
                case["rawid"], f"--positions={join(case['positions'])}"]
        text = f"{case['output']}\n{case['verify']}\n".encode()
        return args, b"", text if case["output"] else None
    if s in ("hex_encode", "base64_encode", "uri_encode"):
        return [s.split("_")[0], "encode"], data, expected
    if s == "hex_decode":
        return ["hex", "decode"], data, expected if HEX_TEXT.match(data) else None
    if s == "base64_decode":
        return ["base64", "decode"], data, expected
    if s == "uri_decode":
        malformed = b"\0" in data or BAD_ESCAPE.search(data)
        return ["uri", "decode"], data, None if malformed else expected
    if s == "base64_class":
        args = ["base64"] + CLASS_FLAGS[case["operation"]]
        if case.get("padded") is False:
            args.append("--no-padding")
        failed = expected is None and data
        return args, data, None if failed else (expected or b"")
    if s.startswith("aes128_system_") or s.startswith("aes256_"):
        args = ["system-aes128" if s.startswith("aes128") else "aes256", s.rsplit("_", 1)[1]]
        if case["key"] is not None:
            args += ["--key", case["key"]]
        return args, data, expected
    raise ValueError(f"unknown scheme {s}")


def replay(tool, case):
    args, data, expected = plan(case)
    r = subprocess.run([tool] + args, input=data, capture_output=True)
    if expected is None:
        ok = r.returncode == 1 and r.stdout == b"" and re.fullmatch(rb"norvek: [^\n]+\n", r.stderr)
    else:
        ok = r.returncode == 0 and r.stdout == expected and r.stderr == b""
    return None if ok else f"{json.dumps(case)}\n  ran {args}: status {r.returncode}, " \
                           f"stdout {r.stdout[:80]!r}, stderr {r.stderr[:200]!r}"


ANSWER_FIELDS = ("output", "result", "verify")
SAMPLE_EVERY = 200


def replay_batch(tool, cases):
    requests = [{k: v for k, v in c.items() if k not in ANSWER_FIELDS} for c in cases]
    text = "".join(json.dumps(r, separators=(",", ":")) + "\n" for r in requests).encode()
    r = subprocess.run([tool, "batch"], input=text, capture_output=True)
    lines = r.stdout.decode().splitlines()
    if r.returncode != 0 or r.stderr or len(lines) != len(cases):
        return [f"batch: status {r.returncode}, {len(lines)} lines for {len(cases)} cases, "
                f"stderr {r.stderr[:200]!r}"]
    return [f"{json.dumps(c)}\n  batch answered {line}"
            for c, line in zip(cases, lines) if json.loads(line) != c]


def sample(cases):
    """Indices: every scheme's first success and first failure, every SAMPLE_EVERY-th case."""
    first = {}
    for i, c in enumerate(cases):
        key = (c["scheme"], c.get("operation"), plan(c)[2] is None)
        first.setdefault(key, i)
    return sorted(set(first.values()) | set(range(0, len(cases), SAMPLE_EVERY)))


def main():
    tool, path = sys.argv[1], sys.argv[2]
    with open(path, encoding="utf-8") as f:
        doc = json.load(f)
    assert doc["format"] == "norvek-conformance/1"
    cases = doc["cases"]
    errors = replay_batch(tool, cases)
    picked = [cases[i] for i in sample(cases)]
    with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        errors += [e for e in pool.map(lambda c: replay(tool, c), picked) if e]
    counts = collections.Counter(c["scheme"] for c in cases)
    print(f"{len(cases)} cases: " + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())))
    print(f"all through one batch process, {len(picked)} also through their own commands")
    for e in errors[:20]:
        print("MISMATCH", e)
    print(f"{len(errors)} mismatches")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
