"""Replays every case of vectors/conformance.json through the package.

The fields are read as vectors/README.md defines them. Where a case records
the library's failure answer, the package must raise norvek.Error or the
subclass for that failure (the same cases the norvek tool fails, see
tools/tests/replay_vectors.py); every other case must give exactly the
recorded bytes.
"""
import collections
import json
import re

import norvek
from conftest import source_path

HEX_TEXT = re.compile(rb"\A(?:[0-9A-Fa-f]{2})*\Z")
BAD_ESCAPE = re.compile(rb"%(?![0-9A-Fa-f]{2})")

DOC = json.loads(source_path("NORVEK_VECTORS", "vectors/conformance.json").read_text("utf-8"))
CASES = DOC["cases"]

CLASS_OPERATIONS = {  # operation -> (encode?, web_safe)
    "encodeData": (True, False),
    "stringByEncodingData": (True, False),
    "webSafeEncodeData": (True, True),
    "stringByWebSafeEncodingData": (True, True),
    "decodeData": (False, False),
    "decodeString": (False, False),
    "webSafeDecodeData": (False, True),
    "webSafeDecodeString": (False, True),
}


def plan(case):
    """(call, expected bytes or None where the package must raise Error)."""
    s = case["scheme"]
    data = bytes.fromhex(case.get("input") or "")
    out = case.get("output")
    expected = bytes.fromhex(out) if isinstance(out, str) else None
    if s in ("transform", "transform_reverse"):
        return lambda: norvek.transform(case["row"], data, reverse=s.endswith("reverse")), expected
    if s.startswith("chain_"):
        ex = s.endswith("_ex")
        run = norvek.chain_encrypt if s.startswith("chain_encrypt") else norvek.chain_decrypt
        refused = any(v < 0 or (not ex and v > 45) for v in case["list"])
        assert case["result"] == len(expected), case
        failed = case["result"] == 0 and (data or refused)
        return lambda: run(case["list"], data, ex=ex), None if failed else expected
    if s in ("buffer_encrypt", "buffer_decrypt"):
        key = bytes.fromhex(case["key"])
        run = norvek.encrypt if s == "buffer_encrypt" else norvek.decrypt
        failed = case["result"] == 0 and (
            s == "buffer_encrypt" or len(key) < 16 or not data or expected != b"")
        return lambda: run(key, data), None if failed else expected
    if s == "sha1":
        return lambda: norvek.sha1(data).digest(), expected
    if s == "sign":
        return lambda: norvek.sign(data), expected
    if s == "hmac_sha1":
        return lambda: norvek.hmac_sha1(bytes.fromhex(case["key"]), data), expected
    if s == "hotp":
        return lambda: norvek.hotp(data, case["digits"]), expected or None
    if s == "generate_id":
        args = [bytes.fromhex(case[k]) for k in ("tag", "version", "rawid")]
        recorded = (bytes.fromhex(case["output"]), bytes.fromhex(case["verify"]))
        return lambda: norvek.generate_id(*args, case["positions"]), \
            recorded if case["output"] else None
    if s in ("hex_encode", "base64_encode", "uri_encode"):
        return lambda: getattr(norvek, s)(data), expected
    if s == "hex_decode":
        return lambda: norvek.hex_decode(data), expected if HEX_TEXT.match(data) else None
    if s == "base64_decode":
        return lambda: norvek.base64_decode(data), expected
    if s == "uri_decode":
        malformed = b"\0" in data or BAD_ESCAPE.search(data)
        return lambda: norvek.uri_decode(data), None if malformed else expected
    if s == "base64_class":
        encode, web_safe = CLASS_OPERATIONS[case["operation"]]
        if encode:
            padded = case.get("padded", True)
            call = lambda: norvek.base64_class_encode(data, web_safe=web_safe, padded=padded)
        else:
            call = lambda: norvek.base64_class_decode(data, web_safe=web_safe)
        # nil is the answer both for failure and for an empty result.
        return call, None if expected is None and data else (expected or b"")
    if s.startswith("aes128_system_") or s.startswith("aes256_"):
        name = ("system_aes128_" if s.startswith("aes128") else "aes256_") + s.rsplit("_", 1)[1]
        return lambda: getattr(norvek, name)(data, case["key"]), expected
    raise ValueError(f"unknown scheme {s}")


def failure_class(case):
    """The exception class a refused case must raise: the subclass where a
    caller reacts differently, else norvek.Error itself."""
    s, key = case["scheme"], case.get("key")
    if s.startswith("chain_"):
        return norvek.RefusedListError
    if s.startswith("buffer_"):
        short = len(bytes.fromhex(key)) < 16
        return norvek.BadKeyError if short or s == "buffer_encrypt" else norvek.DecipherError
    if s.startswith("aes128_system_") or s.startswith("aes256_"):
        if key is not None and len(key.encode()) > 32 or \
                s.startswith("aes128") and not key:
            return norvek.BadKeyError
        return norvek.DecipherError if s.endswith("decrypt") else norvek.Error
    return norvek.Error


def test_every_case_replays():
    counts = collections.Counter(c["scheme"] for c in CASES)
    mismatches = []
    for case in CASES:
        call, expected = plan(case)
        try:
            got = call()
        except norvek.Error as e:
            got = e
        if expected is None:
            ok = type(got) is failure_class(case)
        else:
            ok = got == expected
        if not ok:
            mismatches.append(f"{json.dumps(case)[:300]}\n  got {got!r:.200}")
    print(f"{len(CASES)} cases replayed: "
          + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())))
    assert DOC["format"] == "norvek-conformance/1"
    assert len(counts) >= 20, counts
    assert not mismatches, f"{len(mismatches)} mismatches:\n" + "\n".join(mismatches[:20])


