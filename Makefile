# Thin wrapper over the CMake presets. Each target first installs the
# Debian/Ubuntu packages it lacks (scripts/deps.sh; nothing present is
# upgraded), then configures, builds and runs.
DEPS := scripts/deps.sh
# A compiler named in CC or CXX (environment or command line) is passed on,
# so it wins over the one a build directory was first configured with.
user_set = $(filter environment command line,$(origin $(1)))
COMPILERS := $(if $(call user_set,CXX),-DCMAKE_CXX_COMPILER=$(CXX)) \
             $(if $(call user_set,CC),-DCMAKE_C_COMPILER=$(CC))
export NORVEK_CONFIGURE_ARGS := $(strip $(COMPILERS))
export NORVEK_CTEST_ARGS := $(CTEST_ARGS)
# The release and asan builds compile the benchmarks too.
TEST_DEPS := build test bench memcheck cli
BENCH_DIR := build/release/bench
BENCH_ARGS ?=
PYTHON := /usr/bin/python3

.PHONY: all demo test test-release test-asan tsan bench fuzz fuzz-long memcheck coverage wipe-scan lint format clean

all: test

demo:
	$(DEPS) $(TEST_DEPS)
	cmake --preset release $(COMPILERS)
	cmake --build --preset release --target norvek_demo
	./build/release/examples/norvek_demo

test:
	$(DEPS) $(TEST_DEPS)
	scripts/run_tests.sh release asan

test-release test-asan:
	$(DEPS) $(TEST_DEPS)
	scripts/run_tests.sh $(@:test-%=%)

# Builds only the concurrency test under ThreadSanitizer and runs it.
tsan:
	$(DEPS) test
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan

# One JSON file (and console log) per benchmark binary, then one table of
# ratios to OpenSSL and a chart. OPENSSL_ia32cap, when set, is recorded with the results.
bench:
	$(DEPS) bench test
	cmake --preset release $(COMPILERS)
	cmake --build --preset release --target norvek_benchmarks
	@rm -f $(BENCH_DIR)/bench_*.json
	@set -e; for b in $(BENCH_DIR)/bench_*; do \
	  [ -x "$$b" ] || continue; \
	  echo "== $$b $(BENCH_ARGS)"; \
	  "$$b" --benchmark_out="$$b.json" --benchmark_out_format=json \
	    --benchmark_context=openssl_ia32cap="$${OPENSSL_ia32cap:-unset}" $(BENCH_ARGS) \
	    >"$$b.log" 2>&1 || { cat "$$b.log"; exit 1; }; \
	done
	$(PYTHON) scripts/bench_report.py --chart $(BENCH_DIR)/bench_chart.svg \
	  --command "make bench BENCH_ARGS='$(BENCH_ARGS)'" \
	  $(BENCH_DIR)/bench_*.json | tee $(BENCH_DIR)/bench_summary.txt

# Bounded run for CI: every target FUZZ_SECONDS, two at a time.
FUZZ_SECONDS ?= 45
fuzz:
	$(DEPS) fuzz
	cmake --preset fuzz -DNORVEK_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build --preset fuzz
	ctest --preset fuzz

# Long run of each target: make fuzz-long FUZZ_SECONDS=600
fuzz-long: FUZZ_SECONDS = 600
fuzz-long: fuzz

# Every test binary of the release build under valgrind memcheck.
memcheck:
	$(DEPS) $(TEST_DEPS)
	cmake --preset release $(COMPILERS)
	cmake --build --preset release
	scripts/memcheck.sh build/release $(VALGRIND_ARGS)

# The scan for keys left on the stack and in vector registers (test_wipe),
# in the builds make test does not cover: clang in release, and Debug with
# each compiler (the key-handling units are optimised whatever the build type).
WIPE_SCAN_BUILDS := Release:clang:clang++ Debug:clang:clang++ Debug:gcc:g++
wipe-scan:
	$(DEPS) build test fuzz
	@set -e; for b in $(WIPE_SCAN_BUILDS); do \
	  type=$${b%%:*}; cc=$$(echo $$b | cut -d: -f2); cxx=$${b##*:}; \
	  dir=build/wipe-scan-$$type-$$cc; echo "== $$type, $$cxx"; \
	  cmake -S . -B $$dir -G Ninja -DCMAKE_BUILD_TYPE=$$type -DCMAKE_C_COMPILER=$$cc \
	    -DCMAKE_CXX_COMPILER=$$cxx -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DNORVEK_BUILD_BENCH=OFF \
	    -DNORVEK_BUILD_TOOLS=OFF -DNORVEK_BUILD_EXAMPLES=OFF >/dev/null; \
	  cmake --build $$dir --target test_wipe -j2; \
	  $$dir/tests/test_wipe --gtest_brief=1; \
	done

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
	$(DEPS) test cli coverage
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
	$(DEPS) $(TEST_DEPS) lint
	cmake --preset release $(COMPILERS)
	scripts/lint.sh build/release

format:
	$(DEPS) lint
	git ls-files '*.cpp' '*.h' | xargs clang-format-14 -i

clean:
	rm -rf build

# Cross builds, whole ctest suite under qemu-user. First run fetches the
# target's libssl packages and builds GoogleTest into build/cross-deps/.
.PHONY: cross cross-arm64 cross-s390x
cross: cross-arm64 cross-s390x

# Debian architecture name -> GNU triple of its cross compiler.
CROSS_TRIPLE_arm64 := aarch64-linux-gnu
CROSS_TRIPLE_s390x := s390x-linux-gnu
cross-arm64 cross-s390x: cross-%:
	$(DEPS) cross
	cmake/toolchains/cross_deps.sh $* $(CROSS_TRIPLE_$*)
	cmake --preset cross-$*
	cmake --build --preset cross-$* -j2
	ctest --preset cross-$*
