#!/usr/bin/python3
"""Per-call cost and throughput of the norvek package beside Python's own
modules and pyca/cryptography, and beside the C++ library itself.

    make python-bench                      (builds, then runs this)
    PYTHONPATH=build/release/python:build/release/python/bench \\
        /usr/bin/python3 python/bench/bench_norvek.py [--repeat 21] [--gil | --threads]

Each figure is the best of --repeat rounds of about 10 ms (timeit). "peer" is
the standard library's or cryptography's call for the same work; "vs peer"
is norvek's speed divided by the peer's (above 1: norvek faster). "C++" is
the same library entry point run in a C++ loop inside this process
(norvek_bench_cpp, python/bench/cpp_timer.cpp); "of C++" is the package's
speed as a fraction of it, so 1.00 means the binding costs nothing. The
package's, the peer's and the C++ rounds alternate, so all three see the
same machine load. --gil times calls just below and at the size where the
package starts releasing the interpreter lock; --threads runs long calls
in one thread and in two.
"""
import argparse
import base64
import hashlib
import hmac
import os
import platform
import sys
import threading
import time
import timeit

from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

import norvek

try:
    import norvek_bench_cpp
except ImportError:  # no C++ column
    norvek_bench_cpp = None

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
    """(operation, norvek call, peer name, peer call, C++ operation, data)."""
    data = bytes((i * 131 + 7) & 0xFF for i in range(size))
    cipher, peer_cipher = norvek.encrypt(KEY16, data), aes_cbc_encrypt(data)
    text = base64.b64encode(data)
    return [
        ("sign", lambda: norvek.sign(data), "hmac.digest",
         lambda: hmac.digest(KEY40, data, "sha1"), "sign", data),
        ("hmac_sha1", lambda: norvek.hmac_sha1(KEY16, data), "hmac.digest",
         lambda: hmac.digest(KEY16, data, "sha1"), "hmac_sha1", data),
        ("sha1", lambda: norvek.sha1(data).digest(), "hashlib.sha1",
         lambda: hashlib.sha1(data).digest(), "sha1", data),
        ("encrypt", lambda: norvek.encrypt(KEY16, data), "cryptography AES-CBC",
         lambda: aes_cbc_encrypt(data), "encrypt", data),
        ("decrypt", lambda: norvek.decrypt(KEY16, cipher), "cryptography AES-CBC",
         lambda: aes_cbc_decrypt(peer_cipher), "decrypt", data),
        ("base64_encode", lambda: norvek.base64_encode(data), "base64.b64encode",
         lambda: base64.b64encode(data), "base64_encode", data),
        ("base64_decode", lambda: norvek.base64_decode(text), "base64.b64decode",
         lambda: base64.b64decode(text), "base64_decode", data),
        ("base64_class_encode", lambda: norvek.base64_class_encode(data), "base64.b64encode",
         lambda: base64.b64encode(data), None, data),
    ]


ROUND_SECONDS = 0.01


def rounds(call):
    """Calls per round of about ROUND_SECONDS."""
    timer, number = timeit.Timer(call), 1
    while timer.timeit(number) < ROUND_SECONDS:
        number *= 2
    return timer, number


def best(call, repeat):
    """Seconds per call: timeit's best of `repeat` rounds."""
    timer, number = rounds(call)
    return min(timer.repeat(repeat=repeat, number=number)) / number


def best_alternating(ours, peer, cpp_op, data, repeat):
    """Best seconds per call of the package, the peer and the C++ loop, their
    rounds alternating so that all three meet the same load."""
    (t_ours, n_ours), (t_peer, n_peer) = rounds(ours), rounds(peer)
    use_cpp = norvek_bench_cpp is not None and cpp_op is not None
    b_ours = b_peer = b_cpp = float("inf")
    for _ in range(repeat):
        b_ours = min(b_ours, t_ours.timeit(n_ours) / n_ours)
        b_peer = min(b_peer, t_peer.timeit(n_peer) / n_peer)
        if use_cpp:
            b_cpp = min(b_cpp, norvek_bench_cpp.time_calls(cpp_op, data, n_ours) / n_ours)
    return b_ours, b_peer, (b_cpp if use_cpp else None)


def speed(seconds, size):
    if size >= 1024:
        return f"{size / seconds / 1e6:8.1f} MB/s"
    return f"{1 / seconds / 1e6:6.2f} M calls/s"


def table(args):
    rows, goals = [], []
    for size in args.sizes:
        for op, ours, peer_name, peer, cpp_op, data in cases(size):
            t_ours, t_peer, t_cpp = best_alternating(ours, peer, cpp_op, data, args.repeat)
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
    parser.add_argument("--repeat", type=int, default=21)
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
