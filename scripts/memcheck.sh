#!/usr/bin/env bash
# Runs every test binary of a build under valgrind memcheck, one process per
# binary. Any error (or definite leak) not in tests/valgrind.supp fails it.
#
#   scripts/memcheck.sh BUILD_DIR [VALGRIND_ARGS...]
#   e.g. scripts/memcheck.sh build/release --track-origins=yes
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
build=${1:?usage: $0 BUILD_DIR [VALGRIND_ARGS...]}
shift
command -v valgrind >/dev/null || { echo "memcheck: valgrind missing (scripts/deps.sh memcheck)"; exit 1; }
clean=0 dirty=0
for test in "$build"/tests/test_*; do
  [ -f "$test" ] && [ -x "$test" ] || continue  # a precompiled header leaves a folder here
  name=$(basename "$test")
  log="$build/memcheck_$name.log"
  start=$SECONDS
  # nouserintercepts: a test that replaces the array new/delete (to see what
  # the library gives back) keeps its own; valgrind still tracks malloc.
  if valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
       --soname-synonyms=somalloc=nouserintercepts \
       --errors-for-leak-kinds=definite --show-leak-kinds=definite \
       --suppressions=tests/valgrind.supp --log-file="$log" "$@" \
       "$test" --gtest_brief=1 >"$log.out" 2>&1; then
    clean=$((clean + 1))
    echo "clean   $name ($((SECONDS - start)) s)"
  else
    dirty=$((dirty + 1))
    echo "ERRORS  $name ($((SECONDS - start)) s): $log"
    cat "$log" "$log.out" | head -n 80
  fi
done
[ $((clean + dirty)) -gt 0 ] || { echo "memcheck: no test binaries under $build/tests"; exit 1; }
echo "memcheck: $clean clean, $dirty with errors"
[ "$dirty" -eq 0 ]
