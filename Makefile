# Thin wrapper over the CMake presets.
.PHONY: all demo test test-release test-asan bench fuzz fuzz-long clean

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
