#!/usr/bin/python3
"""Ratio table and chart from Google Benchmark JSON files.

Benchmark names follow <operation>/<implementation>/<size>. For each
operation and size the table gives every norvek implementation's speed and
its ratio to openssl (above 1: faster than OpenSSL), and, where the same
implementation was measured at 1024 bytes, the speed as a share of that
rate (below 1: slower per byte than at 1 KiB; a size cliff shows as a sharp
drop). Then the memcpy figures of the same run. With repetitions the
medians are used.

  bench_report.py [--chart FILE] [--command TEXT] RESULT.json...
"""
import argparse
import json
import os
import statistics
import sys
from collections import defaultdict


def load(paths):
    """{(operation, implementation, size): speed}, plus context and skipped names.

    Speed is bytes per second where the benchmark counts bytes, otherwise
    operations per second."""
    samples = defaultdict(list)
    medians = {}
    contexts, skipped = [], []
    for path in paths:
        with open(path) as f:
            text = f.read()
        if not text.strip():
            continue  # a binary whose benchmarks the filter left out writes nothing
        doc = json.loads(text)
        contexts.append(doc.get("context", {}))
        for b in doc.get("benchmarks", []):
            if b.get("error_occurred"):
                skipped.append(b["name"] + " (error)")
                continue
            parts = b.get("run_name", b["name"]).split("/")
            if len(parts) < 3 or not parts[2].isdigit():
                skipped.append(b["name"])
                continue
            key = (parts[0], parts[1], int(parts[2]))
            if "bytes_per_second" in b:
                speed = b["bytes_per_second"]
            else:
                seconds = b["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1}[b["time_unit"]]
                speed = 1 / seconds
            if b.get("run_type") == "aggregate":
                if b.get("aggregate_name") == "median":
                    medians[key] = speed
            else:
                samples[key].append(speed)
    speeds = {k: statistics.median(v) for k, v in samples.items()}
    speeds.update(medians)
    return speeds, contexts, sorted(set(skipped))


def human(speed, counts_bytes):
    if not counts_bytes:
        return f"{speed / 1e6:9.3f} M/s "
    return f"{speed / 1e6:9.1f} MB/s"


# The share of the 1 KiB rate under which a size counts as a cliff.
CLIFF_SHARE = 0.7
# A row at this share of its floor's speed or more does the floor's work alone.
AT_FLOOR = 0.9
KIB = 1024


def share_of_kib(speeds, op, impl, size):
    """Speed at `size` over the speed of the same operation and implementation
    at 1 KiB, or None where there is no 1 KiB figure or no input."""
    kib = speeds.get((op, impl, KIB))
    if not kib or size == 0:
        return None
    return speeds[(op, impl, size)] / kib


def beyond_floor(speeds, op, impl, size):
    """The rate of what `impl` spends per call past the floor's time, at
    `size` over the same at 1 KiB: the floor (fresh areas, one write, the
    wipe) does no work per byte to speak of, so its own share of its 1 KiB
    rate falls far lower than any real conversion's at 64 B and says nothing
    about theirs. inf where the floor takes all of the time at `size`."""
    def rate_past(sz):
        past = sz / speeds[(op, impl, sz)] - sz / speeds[(op, "floor", sz)]
        return sz / past if past > 0 else float("inf")
    at, kib = rate_past(size), rate_past(KIB)
    if at == kib:  # both inf: the floor is all of it at either size
        return 1.0
    return at / kib


def reference(speeds, op, impl, size, share):
    """(text, the library's own) for a row of `impl` under CLIFF_SHARE of
    its 1 KiB rate: past its floor's time (where measured at both sizes) the
    row is still under CLIFF_SHARE; or, beside OpenSSL's one-shot (which does
    the same work), its share is under CLIFF_SHARE of OpenSSL's, that is it
    loses ground to OpenSSL from 1 KiB to `size`. Own as well where neither
    was measured."""
    if (op, "floor", size) in speeds and (op, "floor", KIB) in speeds:
        # As fast as the floor, within noise: nothing of the library's own
        # is left to measure (the time past the floor would be noise).
        at_floor = speeds[(op, impl, size)] / speeds[(op, "floor", size)]
        if at_floor >= AT_FLOOR:
            return f"at the floor, {at_floor:.2f} of its speed", False
        past = beyond_floor(speeds, op, impl, size)
        return f"past the floor {past:.2f}", past < CLIFF_SHARE
    ref = share_of_kib(speeds, op, "openssl", size) if (op, "openssl", size) in speeds else None
    if ref is not None:
        return f"openssl {ref:.2f}", share < CLIFF_SHARE * ref
    return "", True


def table(speeds):
    rows = []
    cliffs = []
    ops = sorted({(op, size) for op, _, size in speeds if op != "memcpy"})
    for op, size in ops:
        impls = {impl: s for (o, impl, sz), s in speeds.items() if o == op and sz == size}
        base = impls.get("openssl")
        ordered = sorted(i for i in impls if i.startswith("norvek"))
        ordered += sorted(i for i in impls if not i.startswith("norvek"))
        for impl in ordered:
            if impl.startswith("norvek"):
                ratio = f"{impls[impl] / base:7.2f}" if base else "      -"
            else:
                ratio = ""
            share = share_of_kib(speeds, op, impl, size)
            if share is not None and share < CLIFF_SHARE and impl.startswith("norvek"):
                cliffs.append((size, f"{op}/{impl}/{size} {share:.2f}",
                               *reference(speeds, op, impl, size, share)))
            share_text = f"{share:6.2f}" if share is not None else "     -"
            rows.append((op, size, impl, human(impls[impl], size > 0), share_text, ratio))
    width = max([len(r[0]) for r in rows] + [9])
    print(f"{'operation':<{width}}  {'size':>8}  {'implementation':<16} {'speed':>14}  "
          f"{'/1KiB':>6}  norvek/openssl")
    for op, size, impl, speed, share, ratio in rows:
        print(f"{op:<{width}}  {size:>8}  {impl:<16} {speed:>14}  {share}  {ratio}".rstrip())
    # Past 1 KiB a low share is a size cliff; below it, the fixed cost of a
    # call (allocation, key set-up) weighs on few bytes. Either is the
    # library's own where it stays low past the floor's time (fresh areas of
    # the result's sizes), or where the row loses ground to OpenSSL's one-shot.
    def listed(rows):
        return ", ".join(text + (f" [{ref}]" if ref else "") for _, text, ref, _ in rows) or "none"
    larger = [c for c in cliffs if c[0] > KIB]
    smaller = [c for c in cliffs if c[0] < KIB]
    print(f"below {CLIFF_SHARE} of the 1 KiB rate past 1 KiB: " + listed(larger))
    if smaller:
        print(f"below {CLIFF_SHARE} of the 1 KiB rate under 1 KiB: " + listed(smaller))
    own = [c for c in cliffs if c[3]]
    print(f"of these, the library's own (past the floor's time still under {CLIFF_SHARE} of the "
          f"1 KiB rate, or under {CLIFF_SHARE} of OpenSSL's share): " + listed(own))
    memcpy = sorted((size, s) for (op, _, size), s in speeds.items() if op == "memcpy")
    if memcpy:
        kib = dict(memcpy).get(KIB)
        print("memcpy (libc), same run: " + ", ".join(
            f"{size} B {s / 1e9:.1f} GB/s" + (f" ({s / kib:.2f})" if kib and size != KIB else "")
            for size, s in memcpy))


def chart(speeds, path):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("chart skipped: matplotlib is missing (scripts/deps.sh bench-report installs it)")
        return
    # Main operations: those measured at three sizes or more.
    sizes = defaultdict(set)
    for op, _, size in speeds:
        if size > 0:
            sizes[op].add(size)
    ops = sorted(op for op, s in sizes.items() if len(s) >= 3 and op != "memcpy")
    if not ops:
        print("chart skipped: no operation measured at three sizes")
        return
    cols = min(3, len(ops))
    rows = (len(ops) + cols - 1) // cols
    fig, axes = plt.subplots(rows, cols, figsize=(5 * cols, 3.6 * rows), squeeze=False)
    memcpy = sorted((size, s) for (op, _, size), s in speeds.items() if op == "memcpy")
    for ax, op in zip(axes.flat, ops):
        impls = sorted({impl for o, impl, _ in speeds if o == op})
        for impl in impls:
            points = sorted((size, s) for (o, i, size), s in speeds.items() if o == op and i == impl)
            ax.plot([p[0] for p in points], [p[1] / 1e6 for p in points], marker="o", label=impl)
        if memcpy:
            ax.plot([p[0] for p in memcpy], [p[1] / 1e6 for p in memcpy], ":", color="grey",
                    label="memcpy")
        ax.set_title(op)
        ax.set_xscale("log", base=2)
        ax.set_yscale("log")
        ax.set_xlabel("input size (bytes)")
        ax.set_ylabel("MB/s")
        ax.legend(fontsize="small")
    for ax in list(axes.flat)[len(ops):]:
        ax.set_visible(False)
    fig.tight_layout()
    fig.savefig(path)
    print(f"chart: {path}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("results", nargs="+")
    parser.add_argument("--chart")
    parser.add_argument("--command", help="the command that produced the results")
    args = parser.parse_args()
    speeds, contexts, skipped = load(args.results)
    if not speeds:
        sys.exit("no benchmark named <operation>/<implementation>/<size> in " + " ".join(args.results))
    ctx = contexts[0] if contexts else {}
    print(f"command: {args.command or '(not given)'}")
    caps = sorted({c.get("openssl_ia32cap", "not recorded") for c in contexts})
    print(f"OPENSSL_ia32cap: {', '.join(caps)}")
    print(f"host: {ctx.get('host_name', '?')}, {ctx.get('num_cpus', '?')} CPUs at "
          f"{ctx.get('mhz_per_cpu', '?')} MHz, load average "
          f"{' '.join(f'{x:.1f}' for x in ctx.get('load_avg', [])) or '?'}")
    print()
    table(speeds)
    if skipped:
        print(f"not in the naming scheme, left out: {', '.join(skipped[:6])}"
              + (f" and {len(skipped) - 6} more" if len(skipped) > 6 else ""))
    if args.chart:
        chart(speeds, args.chart)


if __name__ == "__main__":
    main()
