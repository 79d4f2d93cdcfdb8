# make demo: install what is missing, build, run the demo on the embedded database.
# make test: install what is missing, build with ASan/UBSan, run every test.
JOBS ?= $(shell nproc)

.PHONY: deps build demo test bench format clean

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j$(JOBS)

demo: build
	./build/z418kt demo

test: deps
	@cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DZ418KT_SANITIZE=ON >/dev/null
	@cmake --build build-test -j$(JOBS)
	cd build-test && ctest --output-on-failure -j$(JOBS)

# Release build of its own; extra flags through BENCH_ARGS (e.g. --benchmark_filter=read).
bench: deps
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-bench -j$(JOBS) --target z418kt_bench z418kt
	./build-bench/z418kt_bench $(BENCH_ARGS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-test build-bench
