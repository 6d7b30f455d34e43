#!/usr/bin/env bash
# Static checks: clang-tidy (.clang-tidy) and cppcheck over the library units,
# the platform stand-ins and the command-line tool, clang-format over every
# C++ file. Fails on any finding. Usage: scripts/lint.sh [build dir with compile_commands.json]
set -uo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
sources=(buffer/*.cpp crypto/*.cpp helper/*.cpp base64class/*.cpp platform/src/*.cpp tools/*.cpp)
status=0

echo "== clang-tidy"
printf '%s\n' "${sources[@]}" |
  xargs -P 2 -n 2 clang-tidy-14 -p "$build" --quiet 2>/dev/null | tee "$build/clang-tidy.log"
grep -qE '(warning|error):' "$build/clang-tidy.log" && status=1

echo "== cppcheck"
cppcheck --quiet --std=c++20 --language=c++ --enable=warning,style,performance,portability \
  --inline-suppr --suppressions-list=.cppcheck-suppressions --error-exitcode=1 \
  --template='{file}:{line}: {severity} {id}: {message}' \
  -I include -I platform/include "${sources[@]}" || status=1

echo "== clang-format"
git ls-files '*.cpp' '*.h' | xargs clang-format-14 --dry-run -Werror || status=1

[ "$status" = 0 ] && echo "lint: clean" || echo "lint: findings above"
exit "$status"
