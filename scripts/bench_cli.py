#!/usr/bin/python3
"""The norvek tool beside the standard tools, on the same files in one run.

usage: bench_cli.py [--norvek PATH] [--dir DIR] [--mib N] [--runs N] [--big-mib N]

Times each command and its counterpart with hyperfine (median of --runs,
after one warm-up, output to /dev/null), prints the time ratio (norvek /
counterpart: below 1 the tool is faster) and each side's peak memory (GNU
time's maximum resident set), and whether the goals hold: every command
within TIME_RATIO of its counterpart's time, every whole-input command's peak under
WHOLE_PEAK times its input. Then runs each streaming command once over a
--big-mib file (decoders fed from a pipe) and prints its peak memory, which
must not grow with the input. Files are made once from /dev/urandom and kept.
"""
import argparse
import json
import os
import shlex
import subprocess
import sys
import tempfile
import time

KEY = "000102030405060708090a0b0c0d0e0f"
TIME_RATIO = 1.3   # a command's time beside its counterpart's, at most
WHOLE_PEAK = 2.3    # a whole-input command's peak memory over its input, below
IV = "00000000000000000000000000000000"


def sh(cmd):
    subprocess.run(cmd, shell=True, check=True, executable="/bin/bash")


def make_input(path, mib):
    if not os.path.exists(path) or os.path.getsize(path) != mib << 20:
        sh(f"head -c {mib << 20} /dev/urandom > {shlex.quote(path)}.part && "
           f"mv {shlex.quote(path)}.part {shlex.quote(path)}")


def peak_mib(cmd):
    """Peak resident memory of the last command of a pipeline `cmd`, in MiB."""
    with tempfile.NamedTemporaryFile("r") as f:
        head, _, last = cmd.rpartition("|")
        timed = f"/usr/bin/time -f %M -o {f.name} {last.strip()}"
        sh(f"{head}| {timed}" if head else timed)
        return int(f.read().split()[-1]) / 1024


def hyperfine(commands, runs):
    with tempfile.NamedTemporaryFile("r", suffix=".json") as f:
        subprocess.run(["hyperfine", "--style", "none", "--warmup", "1", "--runs", str(runs),
                        "--export-json", f.name] + commands,
                       check=True, stdout=subprocess.DEVNULL)
        return [r["median"] for r in json.load(f)["results"]]


def batch_rate(norvek, count=20000):
    """Requests per second of `norvek batch` for `sign` over 64 bytes: one
    client in step (each answer read before the next request is written),
    then all requests written at once (best of 3 each)."""
    if subprocess.run([norvek, "batch"], stdin=subprocess.DEVNULL, capture_output=True).returncode:
        print("\nno batch mode in this build")
        return
    line = (json.dumps({"scheme": "sign", "input": os.urandom(64).hex()}) + "\n").encode()
    in_step = []
    for _ in range(3):
        p = subprocess.Popen([norvek, "batch"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        start = time.perf_counter()
        for _ in range(count):
            p.stdin.write(line)
            p.stdin.flush()
            p.stdout.readline()
        in_step.append(count / (time.perf_counter() - start))
        p.stdin.close()
        p.wait()
    at_once = []
    for _ in range(3):
        start = time.perf_counter()
        r = subprocess.run([norvek, "batch"], input=line * (5 * count), capture_output=True,
                           check=True)
        at_once.append(5 * count / (time.perf_counter() - start))
        assert r.stdout.count(b"\n") == 5 * count
    print(f"\nnorvek batch, sign of 64 bytes: {max(in_step):,.0f} requests/s in step, "
          f"{max(at_once):,.0f} requests/s written at once")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--norvek", default="build/release/tools/norvek")
    ap.add_argument("--dir", default="build/release/bench-cli")
    ap.add_argument("--mib", type=int, default=64)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--big-mib", type=int, default=1024)
    a = ap.parse_args()
    n = shlex.quote(os.path.abspath(a.norvek))
    os.makedirs(a.dir, exist_ok=True)
    d = a.dir
    plain = os.path.join(d, f"plain{a.mib}.bin")
    make_input(plain, a.mib)
    hexed, b64, uri, cipher = (os.path.join(d, f"plain{a.mib}.{e}") for e in ("hex", "b64", "uri", "aes"))
    sh(f"{n} hex encode {plain} -o {hexed} && {n} base64 encode {plain} -o {b64} && "
       f"{n} uri encode {plain} -o {uri} && {n} encrypt --key-hex {KEY} {plain} -o {cipher}")

    ssl_cbc = f"openssl enc -aes-128-cbc -K {KEY} -iv {IV}"
    # (name, norvek command, counterpart or None, streams, input size)
    rows = [
        ("sha1", f"{n} sha1 {plain}", f"sha1sum {plain}", True, plain),
        ("hmac-sha1", f"{n} hmac-sha1 --key-hex 6b6579 {plain}",
         f"openssl dgst -sha1 -hmac key {plain}", True, plain),
        ("sign", f"{n} sign {plain}", f"openssl dgst -sha1 -hmac key {plain}", True, plain),
        ("hex encode", f"{n} hex encode {plain}", f"xxd -p {plain}", True, plain),
        ("hex decode", f"{n} hex decode {hexed}", f"xxd -r -p {hexed}", True, hexed),
        ("base64 encode", f"{n} base64 encode {plain}", f"base64 -w0 {plain}", True, plain),
        ("base64 decode", f"{n} base64 decode {b64}", f"base64 -d {b64}", True, b64),
        ("uri encode", f"{n} uri encode {plain}", None, True, plain),
        ("uri decode", f"{n} uri decode {uri}", None, True, uri),
        ("encrypt", f"{n} encrypt --key-hex {KEY} {plain}", f"{ssl_cbc} -in {plain}", False, plain),
        ("decrypt", f"{n} decrypt --key-hex {KEY} {cipher}", f"{ssl_cbc} -d -in {cipher}", False,
         cipher),
        ("system-aes128", f"{n} system-aes128 encrypt --key k {plain}", f"{ssl_cbc} -in {plain}",
         False, plain),
        ("aes256", f"{n} aes256 encrypt {plain}",
         f"openssl enc -aes-256-cbc -K {KEY * 2} -iv {IV} -in {plain}", False, plain),
        ("chain", f"{n} chain encrypt --list 3,0,45 {plain}", None, False, plain),
        ("transform", f"{n} transform --row 7 {plain}", None, False, plain),
        ("b64 --web-safe", f"{n} base64 encode --web-safe {plain}", None, False, plain),
        ("b64 -d --class", f"{n} base64 decode --class {b64}", None, False, b64),
    ]
    with open("/proc/loadavg") as f:
        load = " ".join(f.read().split()[:3])
    print(f"norvek beside the standard tools, {a.mib} MiB input, median of {a.runs} runs")
    print(f"OPENSSL_ia32cap: {os.environ.get('OPENSSL_ia32cap', 'unset')}; "
          f"{os.cpu_count()} CPUs; load average {load} at start")
    print(f"{'command':14} {'norvek s':>9} {'other s':>9} {'ratio':>6} {'norvek MiB':>11} "
          f"{'other MiB':>10} {'norvek/input':>13}  counterpart")
    missed = []
    for name, mine, other, streams, given in rows:
        cmds = [f"{mine} > /dev/null"] + ([f"{other} > /dev/null"] if other else [])
        times = hyperfine(cmds, a.runs)
        mem = [peak_mib(c) for c in cmds]
        size = os.path.getsize(given) / (1 << 20)
        if other and times[0] > TIME_RATIO * times[1]:
            missed.append(f"{name} {times[0] / times[1]:.2f}x its counterpart's time")
        if not streams and mem[0] > WHOLE_PEAK * size:
            missed.append(f"{name} peak {mem[0] / size:.2f}x its input")
        print(f"{name:14} {times[0]:9.3f} {times[1] if other else float('nan'):9.3f} "
              f"{times[0] / times[1] if other else float('nan'):6.2f} {mem[0]:11.1f} "
              f"{mem[1] if other else float('nan'):10.1f} {mem[0] / size:13.2f}  "
              f"{other.split()[0] + ' ' + other.split()[1] if other else '-'}")
    verdict = ("met" if not missed else "missed: " + "; ".join(missed)) if a.mib >= 64 else \
        "judged from 64 MiB on (below, the process's own few MiB weigh in)"
    print(f"goals (within {TIME_RATIO}x the counterpart's time; whole-input commands "
          f"under {WHOLE_PEAK}x their input at peak): {verdict}")
    sys.stdout.flush()

    batch_rate(a.norvek)

    if a.big_mib <= 0:
        return 0
    big = os.path.join(d, f"plain{a.big_mib}.bin")
    make_input(big, a.big_mib)
    print(f"\nstreaming commands over {a.big_mib} MiB (decoders read the encoder's output "
          f"from a pipe): peak memory")
    for name, cmd in [
        ("sha1", f"{n} sha1 {big}"), ("hmac-sha1", f"{n} hmac-sha1 --key-hex 6b6579 {big}"),
        ("sign", f"{n} sign {big}"), ("hex encode", f"{n} hex encode {big}"),
        ("hex decode", f"{n} hex encode {big} | {n} hex decode"),
        ("base64 encode", f"{n} base64 encode {big}"),
        ("b64 --web-safe", f"{n} base64 encode --web-safe {big}"),
        ("base64 decode", f"{n} base64 encode {big} | {n} base64 decode"),
        ("uri encode", f"{n} uri encode {big}"),
        ("uri decode", f"{n} uri encode {big} | {n} uri decode"),
    ]:
        print(f"{name:14} {peak_mib(cmd + ' > /dev/null'):8.1f} MiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
