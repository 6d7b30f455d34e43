#!/usr/bin/env bash
# Runs the unit suites (every GoogleTest binary of a build) under
# qemu-x86_64 for CPU models that lack some extensions, so that each x86-64
# path runs as the library's own automatic choice:
#
#   model      AES     SHA-1      what it lacks
#   Nehalem    table   portable   AES-NI, AVX, SHA extensions
#   Westmere   aesni   portable   AVX, SHA extensions
#   Haswell    aesni   portable   VAES, SHA extensions (has AVX2)
#
# The host runs VAES and the SHA extensions. Debian 12's qemu (7.2) emulates
# no SHA extensions and computes VAESENC/VAESDEC's upper lane wrongly, so a
# model with VAES must be given as MODEL,-vaes.
#
# Under each model tests/cpu_matrix/path_probe must first report the
# expected paths; then each binary runs once, all its cases in one process,
# two binaries at a time. The constant-time check (valgrind), the package and
# tool tests are not unit suites and do not run here.
#
#   scripts/cpu_matrix.sh BUILD_DIR [MODEL:AES:SHA1 ...]
#   e.g. scripts/cpu_matrix.sh build/release Icelake-Server,-vaes:aesni:portable
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
build=${1:?usage: $0 BUILD_DIR [MODEL:AES:SHA1 ...]}
shift
# Absolute, as the binaries run from their own folder.
build=$(cd "$build" && pwd) || exit 1
models=("$@")
[ ${#models[@]} -gt 0 ] || models=(Nehalem:table:portable Westmere:aesni:portable Haswell:aesni:portable)
jobs=${CPU_MATRIX_JOBS:-2}
qemu="qemu-x86_64"
command -v "$qemu" >/dev/null || { echo "cpu-matrix: $qemu missing (scripts/deps.sh cpu-matrix)"; exit 1; }
[ "$(uname -m)" = x86_64 ] || { echo "cpu-matrix: needs an x86-64 build and host"; exit 1; }
probe=$build/tests/path_probe
[ -x "$probe" ] || { echo "cpu-matrix: no $probe (build the tests first)"; exit 1; }
binaries=()
for test in "$build"/tests/test_*; do [ -f "$test" ] && [ -x "$test" ] && binaries+=("$test"); done
[ ${#binaries[@]} -gt 0 ] || { echo "cpu-matrix: no test binaries under $build/tests"; exit 1; }
logs=$build/cpu_matrix
rm -rf "$logs" && mkdir -p "$logs"

# One binary under one model; its log keeps the full output. The tests find
# their data by absolute path and run from the tests folder, as under ctest.
run_one() {
  local cpu=$1 test=$2 log
  log=$logs/${cpu//,/}_$(basename "$test").log
  if (cd "$(dirname "$test")" && timeout 1800 "$qemu" -cpu "$cpu" "$test" --gtest_brief=1) >"$log" 2>&1; then
    local passed skipped
    passed=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\./\1/p' "$log")
    skipped=$(sed -nE 's/^\[  SKIPPED \] ([0-9]+) tests?, listed below:$/\1/p; s/^\[  SKIPPED \] ([0-9]+) tests?\.$/\1/p' "$log" | head -n 1)
    echo "ok     $cpu $(basename "$test"): ${passed:-0} passed, ${skipped:-0} skipped"
  else
    echo "FAILED $cpu $(basename "$test"): $log"
    tail -n 40 "$log"
    return 1
  fi
}
export -f run_one
export logs qemu

failed=0
for entry in "${models[@]}"; do
  IFS=: read -r cpu want_aes want_sha1 <<<"$entry"
  start=$SECONDS
  want="aes=$want_aes sha1=$want_sha1"
  # qemu warns on stderr about features of the model it does not emulate.
  if ! got=$("$qemu" -cpu "$cpu" "$probe" 2>"$logs/${cpu//,/}_probe.log") || [ "$got" != "$want" ]; then
    echo "FAILED $cpu: the library picks '$got', expected '$want'"
    failed=$((failed + 1))
    continue
  fi
  echo "== $cpu: $got"
  if ! printf '%s\n' "${binaries[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$0" "$1"' "$cpu" {}; then
    failed=$((failed + 1))
  fi
  echo "== $cpu took $((SECONDS - start)) s"
done
echo "cpu-matrix: ${#models[@]} model(s), ${#binaries[@]} binaries each, $failed model(s) failed"
[ "$failed" -eq 0 ]
