# Thin wrapper over the CMake presets.
.PHONY: all demo test test-release test-asan tsan bench fuzz clean

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

# Builds only the concurrency test under ThreadSanitizer and runs it.
tsan:
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan

bench:
	cmake --preset release
	cmake --build --preset release --target norvek_benchmarks
	@for b in build/release/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz
	ctest --preset fuzz

clean:
	rm -rf build
