#!/usr/bin/python3
"""Which size cliffs the benchmark report calls the library's own, over
fixed figures: rates (bytes per second) as a benchmark run writes them.
Usage: bench_report_own.py REPORT_SCRIPT SCRATCH_DIR"""
import json
import os
import subprocess
import sys

REPORT, SCRATCH = sys.argv[1], sys.argv[2]
KIB = 1024

# (operation, {implementation: {size: rate}}, whether the cliff is the library's own)
CASES = [
    # Measured (release, x86-64): the bridge pair, whose fixed cost at 64 B
    # is several times the floor's; the same picture either way round.
    ("data_to_buffer", {"norvek": {64: 2950.3e6, KIB: 45035.7e6},
                        "floor": {64: 6553.1e6, KIB: 67104.5e6}}, True),
    ("buffer_to_data", {"norvek": {64: 1937.5e6, KIB: 26496.8e6},
                        "floor": {64: 8103.7e6, KIB: 80550.1e6}}, True),
    # Measured: at 16 MiB fresh pages take the floor as long as the call.
    ("buffer_hex_encode", {"norvek": {KIB: 5332.8e6, 16 << 20: 157.9e6},
                           "floor": {KIB: 16691.1e6, 16 << 20: 153.1e6}}, False),
    # A 100 ns floor and 1 ns a byte past it: the fixed cost is the floor's.
    ("fixed_floor", {"norvek": {64: 64 / 164e-9, KIB: KIB / 1134e-9},
                     "floor": {64: 64 / 100e-9, KIB: KIB / 110e-9}}, False),
    # Within a tenth of the floor's speed: the few nanoseconds past it are
    # noise, not a cost of the library's own.
    ("as_fast_as_floor", {"norvek": {KIB: 45e9, 16 << 20: 15e9},
                          "floor": {KIB: 50e9, 16 << 20: 16.2e9}}, False),
    # Beside OpenSSL: the same drop is not the library's, a deeper one is.
    ("as_openssl", {"norvek": {64: 300e6, KIB: 1000e6}, "openssl": {64: 200e6, KIB: 600e6}}, False),
    ("below_openssl", {"norvek": {64: 100e6, KIB: 1000e6}, "openssl": {64: 200e6, KIB: 600e6}}, True),
]

benchmarks = [{"name": f"{op}/{impl}/{size}", "run_name": f"{op}/{impl}/{size}", "run_type": "iteration",
               "bytes_per_second": rate, "real_time": 1, "time_unit": "ns"}
              for op, impls, _ in CASES for impl, rates in impls.items() for size, rate in rates.items()]
os.makedirs(SCRATCH, exist_ok=True)
path = os.path.join(SCRATCH, "figures.json")
with open(path, "w") as f:
    json.dump({"context": {}, "benchmarks": benchmarks}, f)
out = subprocess.run([sys.executable, REPORT, path], capture_output=True, text=True, check=True).stdout
line = next(l for l in out.splitlines() if l.startswith("of these"))
own = {entry.split("/")[0] for entry in line.split("): ", 1)[1].split(", ")}
failures = [f"{op}: {'not ' if want else ''}called the library's own" for op, _, want in CASES
            if (op in own) != want]
for f in failures:
    print("FAIL", f)
print(line)
sys.exit(1 if failures else 0)
