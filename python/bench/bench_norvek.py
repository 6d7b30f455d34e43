#!/usr/bin/python3
"""Per-call cost and throughput of the norvek package beside Python's own
modules and pyca/cryptography, and beside the C++ library itself.

    make python-bench                      (builds, then runs this)
    PYTHONPATH=build/release/python /usr/bin/python3 python/bench/bench_norvek.py \\
        --cpp build/release/python/norvek_py_bench_cpp [--repeat 7] [--gil]

Each figure is timeit's best of --repeat rounds. "peer" is the standard
library's or cryptography's call for the same work; "vs peer" is norvek's
speed divided by the peer's (above 1: norvek faster). "C++" is the same
library entry point timed in a C++ loop (norvek_py_bench_cpp, best of
rounds as well); "of C++" is the package's speed as a fraction of it, so
1.00 means the binding costs nothing. --gil times calls just below and at
the size where the package starts releasing the interpreter lock.
"""
import argparse
import base64
import hashlib
import hmac
import os
import platform
import subprocess
import sys
import threading
import time
import timeit

from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

import norvek

KEY16 = b"0123456789abcdef"
KEY40 = bytes(range(40))  # the signing key's length
IV = bytes(16)


def aes_cbc_encrypt(data):
    padder = padding.PKCS7(128).padder()
    enc = Cipher(algorithms.AES(KEY16), modes.CBC(IV)).encryptor()
    return enc.update(padder.update(data) + padder.finalize()) + enc.finalize()


def aes_cbc_decrypt(data):
    dec = Cipher(algorithms.AES(KEY16), modes.CBC(IV)).decryptor()
    unpadder = padding.PKCS7(128).unpadder()
    return unpadder.update(dec.update(data) + dec.finalize()) + unpadder.finalize()


def cases(size):
    """(operation, norvek call, peer name, peer call, C++ operation)."""
    data = bytes((i * 131 + 7) & 0xFF for i in range(size))
    cipher, peer_cipher = norvek.encrypt(KEY16, data), aes_cbc_encrypt(data)
    text = base64.b64encode(data)
    return [
        ("sign", lambda: norvek.sign(data), "hmac.digest",
         lambda: hmac.digest(KEY40, data, "sha1"), "sign"),
        ("hmac_sha1", lambda: norvek.hmac_sha1(KEY16, data), "hmac.digest",
         lambda: hmac.digest(KEY16, data, "sha1"), "hmac_sha1"),
        ("sha1", lambda: norvek.sha1(data).digest(), "hashlib.sha1",
         lambda: hashlib.sha1(data).digest(), "sha1"),
        ("encrypt", lambda: norvek.encrypt(KEY16, data), "cryptography AES-CBC",
         lambda: aes_cbc_encrypt(data), "encrypt"),
        ("decrypt", lambda: norvek.decrypt(KEY16, cipher), "cryptography AES-CBC",
         lambda: aes_cbc_decrypt(peer_cipher), "decrypt"),
        ("base64_encode", lambda: norvek.base64_encode(data), "base64.b64encode",
         lambda: base64.b64encode(data), "base64_encode"),
        ("base64_decode", lambda: norvek.base64_decode(text), "base64.b64decode",
         lambda: base64.b64decode(text), "base64_decode"),
        ("base64_class_encode", lambda: norvek.base64_class_encode(data), "base64.b64encode",
         lambda: base64.b64encode(data), None),
    ]


def best(call, repeat):
    """Seconds per call: timeit's best of `repeat` rounds of about 0.2 s."""
    timer = timeit.Timer(call)
    number, _ = timer.autorange()
    return min(timer.repeat(repeat=repeat, number=number)) / number


def cpp_ns(tool, op, size, repeat):
    if not tool or not op:
        return None
    out = subprocess.run([tool, op, str(size), str(repeat)], capture_output=True, text=True,
                         check=True).stdout
    return float(out) * 1e-9


def speed(seconds, size):
    if size >= 1024:
        return f"{size / seconds / 1e6:8.1f} MB/s"
    return f"{1 / seconds / 1e6:6.2f} M calls/s"


def table(args):
    rows, goals = [], []
    for size in args.sizes:
        for op, ours, peer_name, peer, cpp_op in cases(size):
            t_ours, t_peer = best(ours, args.repeat), best(peer, args.repeat)
            t_cpp = cpp_ns(args.cpp, cpp_op, size, args.repeat)
            rows.append((op, size, t_ours, peer_name, t_peer, t_cpp))
            if op == "sign" and size == 20:
                goals.append(("sign of 20 bytes, calls/s vs hmac.digest", t_peer / t_ours, 2.0))
            if size == 65536 and t_cpp is not None:
                goals.append((f"{op} at 64 KiB, speed as a fraction of C++", t_cpp / t_ours, 0.9))
    print(f"{'operation':<20}{'size':>7}  {'norvek':>17}  {'per call':>10}  "
          f"{'peer':<21}{'vs peer':>8}  {'C++ per call':>12}  {'of C++':>6}")
    for op, size, t_ours, peer_name, t_peer, t_cpp in rows:
        cpp = f"{t_cpp * 1e6:9.2f} us  {t_cpp / t_ours:6.2f}" if t_cpp else f"{'-':>12}  {'-':>6}"
        print(f"{op:<20}{size:>7}  {speed(t_ours, size):>17}  {t_ours * 1e6:7.2f} us  "
              f"{peer_name:<21}{t_peer / t_ours:8.2f}  {cpp}")
    print()
    for what, value, goal in goals:
        print(f"goal: {what}: {value:.2f} (wanted >= {goal}) {'met' if value >= goal else 'MISSED'}")


def gil(args):
    """Per-call time just below and at the release threshold: the difference
    is what giving the lock up and taking it back costs uncontended."""
    n = norvek.RELEASE_GIL_BYTES
    print(f"release threshold: {n} bytes")
    for name, make in (("hmac_sha1", lambda d: lambda: norvek.hmac_sha1(KEY16, d)),
                       ("sha1", lambda d: lambda: norvek.sha1(d).digest()),
                       ("base64_encode", lambda d: lambda: norvek.base64_encode(d)),
                       ("encrypt", lambda d: lambda: norvek.encrypt(KEY16, d))):
        below = best(make(bytes(n - 16)), args.repeat)
        at = best(make(bytes(n)), args.repeat)
        work = below * n / (n - 16)
        print(f"{name:<14} {n - 16:>6} B {below * 1e6:7.2f} us   {n:>6} B {at * 1e6:7.2f} us"
              f"   release costs {(at - work) * 1e6:+6.3f} us = {(at - work) / work:+.1%} of the call")


def threads(args):
    """Throughput of one long call in 1 and in 2 threads at once."""
    data = bytes(8 << 20)
    for name, call in (("sha1", lambda: norvek.sha1(data).digest()),
                       ("encrypt", lambda: norvek.encrypt(KEY16, data))):
        rates = []
        for count in (1, 2):
            t0 = time.perf_counter()
            workers = [threading.Thread(target=lambda: [call() for _ in range(4)])
                       for _ in range(count)]
            for w in workers:
                w.start()
            for w in workers:
                w.join()
            rates.append(count * 4 * len(data) / (time.perf_counter() - t0) / 1e6)
        print(f"{name:<10} 1 thread {rates[0]:8.1f} MB/s   2 threads {rates[1]:8.1f} MB/s   "
              f"x{rates[1] / rates[0]:.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cpp", help="the norvek_py_bench_cpp binary")
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--sizes", type=int, nargs="+", default=[20, 1024, 65536])
    parser.add_argument("--gil", action="store_true", help="time the lock release threshold")
    parser.add_argument("--threads", action="store_true", help="1 thread against 2")
    args = parser.parse_args()
    print(f"command: {' '.join([os.path.basename(sys.executable)] + sys.argv)}")
    print(f"OPENSSL_ia32cap: {os.environ.get('OPENSSL_ia32cap', 'unset')}")
    print(f"python {platform.python_version()} ({sys.executable}), {os.cpu_count()} CPUs, "
          f"load average {' '.join(f'{x:.1f}' for x in os.getloadavg())}")
    print()
    if args.gil:
        gil(args)
    elif args.threads:
        threads(args)
    else:
        table(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
