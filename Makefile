# Thin wrapper over the CMake presets.
.PHONY: all demo test test-release test-asan bench fuzz fuzz-long coverage lint format clean

all: test

demo:
	cmake --preset release
	cmake --build --preset release --target norvek_demo
	./build/release/examples/norvek_demo

test: test-release test-asan

test-release:
	cmake --preset release
	cmake --build --preset release
	ctest --preset release

test-asan:
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

bench:
	cmake --preset release
	cmake --build --preset release --target norvek_benchmarks
	@for b in build/release/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

# Bounded run for CI: every target FUZZ_SECONDS, two at a time.
FUZZ_SECONDS ?= 45
fuzz:
	cmake --preset fuzz -DNORVEK_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build --preset fuzz
	ctest --preset fuzz

# Long run of each target: make fuzz-long FUZZ_SECONDS=600
fuzz-long: FUZZ_SECONDS = 600
fuzz-long: fuzz

# Coverage of the nine library units and the platform stand-ins (throw and
# unreachable branches left out). Fails below the thresholds: every line of
# the library units, and COVERAGE_BRANCHES percent of branches overall.
# HTML report: build/coverage/html/index.html
COVERAGE_UNIT_LINES ?= 100
COVERAGE_BRANCHES ?= 97
GCOVR = gcovr --root . --object-directory build/coverage --exclude-directories '.*consumer_scratch.*' \
  --exclude-throw-branches --exclude-unreachable-branches
GCOVR_UNITS = --filter 'buffer/' --filter 'crypto/' --filter 'helper/' --filter 'base64class/'
coverage:
	cmake --preset coverage
	cmake --build --preset coverage -j2
	find build/coverage -name '*.gcda' -delete
	ctest --preset coverage
	mkdir -p build/coverage/html
	$(GCOVR) $(GCOVR_UNITS) --filter 'platform/' --print-summary \
	  --json build/coverage/coverage.json \
	  --html-details build/coverage/html/index.html \
	  --fail-under-branch $(COVERAGE_BRANCHES)
	$(GCOVR) $(GCOVR_UNITS) --add-tracefile build/coverage/coverage.json \
	  --fail-under-line $(COVERAGE_UNIT_LINES)

# clang-tidy, cppcheck and clang-format --dry-run; fails on any finding.
# `make format` rewrites the tree in the .clang-format layout.
lint:
	cmake --preset release
	scripts/lint.sh build/release

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format-14 -i

clean:
	rm -rf build

# Cross builds, whole ctest suite under qemu-user. First run fetches the
# target's libssl packages and builds GoogleTest into build/cross-deps/.
.PHONY: cross cross-arm64 cross-s390x
cross: cross-arm64 cross-s390x

cross-arm64:
	cmake/toolchains/cross_deps.sh arm64 aarch64-linux-gnu
	cmake --preset cross-arm64
	cmake --build --preset cross-arm64 -j2
	ctest --preset cross-arm64

cross-s390x:
	cmake/toolchains/cross_deps.sh s390x s390x-linux-gnu
	cmake --preset cross-s390x
	cmake --build --preset cross-s390x -j2
	ctest --preset cross-s390x
