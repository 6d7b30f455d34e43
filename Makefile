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
TEST_DEPS := build test bench memcheck cli python
BENCH_DIR := build/release/bench
BENCH_ARGS ?=
PYTHON := /usr/bin/python3

.PHONY: all demo test test-release test-asan tsan bench bench-cli fuzz fuzz-long memcheck cpu-matrix coverage \
  wipe-scan lint format clean python-install python-bench

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
# The release build configures the tool as well (cli); the table and the
# chart need python3 and matplotlib (bench-report).
bench:
	$(DEPS) bench test cli bench-report
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

# The norvek tool beside sha1sum, openssl, base64 and xxd on the same files:
# time ratios (hyperfine medians) and peak memory at BENCH_CLI_MIB, then the
# streaming commands' peak memory at BENCH_CLI_BIG_MIB (0 leaves that out).
BENCH_CLI_MIB ?= 64
BENCH_CLI_BIG_MIB ?= 1024
BENCH_CLI_RUNS ?= 5
bench-cli:
	$(DEPS) build cli bench-cli
	cmake --preset release $(COMPILERS)
	cmake --build --preset release --target norvek
	mkdir -p build/release/bench-cli
	$(PYTHON) scripts/bench_cli.py --mib $(BENCH_CLI_MIB) --big-mib $(BENCH_CLI_BIG_MIB) \
	  --runs $(BENCH_CLI_RUNS) | tee build/release/bench-cli/summary.txt
# The Python package for Debian's python3, built from this checkout and copied
# into that interpreter's site folder (/usr/local/lib/python3.N/dist-packages);
# offline, Debian packages only. Root, or sudo, writes the site folder.
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)
python-install:
	$(DEPS) python
	cmake --preset release $(COMPILERS) -DPython_EXECUTABLE=$(PYTHON)
	cmake --build --preset release --target norvek_python
	$(SUDO) cmake --install build/release --component python
	cd / && $(PYTHON) -c 'import norvek; print("installed", norvek.__file__)'

# The package's per-call cost and throughput beside hashlib, hmac, base64,
# cryptography and the C++ library; PYTHON_BENCH_ARGS='--gil' or '--threads'.
PYTHON_BENCH_ARGS ?=
python-bench:
	$(DEPS) python
	cmake --preset release $(COMPILERS) -DPython_EXECUTABLE=$(PYTHON)
	cmake --build --preset release --target norvek_python norvek_bench_cpp
	PYTHONPATH=build/release/python:build/release/python/bench \
	  $(PYTHON) python/bench/bench_norvek.py $(PYTHON_BENCH_ARGS)

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

# Every GoogleTest binary of the release build under qemu-x86_64 for CPU
# models without some extensions, so each x86-64 path runs as the library's
# own choice: Nehalem (table AES, portable SHA-1), Westmere (AES-NI without
# AVX), Haswell (AVX2, no VAES). CPU_MATRIX_MODELS='MODEL:AES:SHA1 ...'
# replaces the list (a model with VAES as MODEL,-vaes: see the script).
CPU_MATRIX_MODELS ?=
cpu-matrix:
	$(DEPS) $(TEST_DEPS) cpu-matrix
	cmake --preset release $(COMPILERS)
	cmake --build --preset release
	scripts/cpu_matrix.sh build/release $(CPU_MATRIX_MODELS)
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
GCOVR = gcovr --root . --object-directory build/coverage \
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
