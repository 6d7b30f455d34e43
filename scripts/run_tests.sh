#!/usr/bin/env bash
# Configures, builds and tests each named preset, then prints one summary for
# all of them that ends with the line "N passed, N failed". A preset that does
# not configure or build counts as one failure. Passing tests print one line
# less each: ctest's start and pass lines are left out, failures show in full.
#
#   scripts/run_tests.sh PRESET...
#   NORVEK_CONFIGURE_ARGS  extra cmake arguments (e.g. -DCMAKE_CXX_COMPILER=clang++)
#   NORVEK_CTEST_ARGS      extra ctest arguments (e.g. -L unit)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
passed=0 failed=0
summary=()

# Runs a quiet step; shows its log only when it fails.
quiet() {
  local log=$1; shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "failed: $* (log: $log)"
    return 1
  fi
}

for preset in "$@"; do
  start=$SECONDS
  mkdir -p "build/$preset"
  echo "== $preset: configure and build"
  # shellcheck disable=SC2086  # arguments are meant to split
  if ! quiet "build/$preset/configure.log" cmake --preset "$preset" ${NORVEK_CONFIGURE_ARGS:-} ||
     ! quiet "build/$preset/build.log" cmake --build --preset "$preset"; then
    failed=$((failed + 1))
    summary+=("$preset: configure or build failed")
    continue
  fi
  echo "== $preset: ctest"
  # shellcheck disable=SC2086
  ctest --preset "$preset" ${NORVEK_CTEST_ARGS:-} 2>&1 | tee "build/$preset/ctest.log" |
    grep -Ev '^ *Start +[0-9]+: |[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$'
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "build/$preset/ctest.log" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    summary+=("$preset: ctest gave no result (log: build/$preset/ctest.log)")
    continue
  fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  elapsed=$((SECONDS - start))
  summary+=("$preset: $((total - bad)) passed, $bad failed (${elapsed} s)")
done

echo
echo "== summary"
printf '%s\n' "${summary[@]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
