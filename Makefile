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

.PHONY: all demo test test-release test-asan bench fuzz memcheck clean

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

fuzz:
	$(DEPS) fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz
	ctest --preset fuzz

# Every test binary of the release build under valgrind memcheck.
memcheck:
	$(DEPS) $(TEST_DEPS)
	cmake --preset release $(COMPILERS)
	cmake --build --preset release
	scripts/memcheck.sh build/release $(VALGRIND_ARGS)

clean:
	rm -rf build
