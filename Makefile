# make demo:    install what the build needs, build, run the demo on the embedded database.
# make test:    install what the tests need too, build with ASan/UBSan, run every test.
# make package: build the Debian packages (build/packages/*.deb): library, development files,
#               command and service, Python module.
# make install: install the build under PREFIX (default /usr/local).
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
# ccache, when the machine has it, lets rebuilds and other checkouts reuse objects.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache,)

.PHONY: deps test-deps build demo test bench package install format clean

deps:
	@scripts/install-deps.sh build

test-deps:
	@scripts/install-deps.sh test

build: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF $(LAUNCHER) >/dev/null
	@cmake --build build -j$(JOBS)

demo: build
	./build/z418kt demo

# The test tree is laid out as the Debian packages are (/usr, /etc, the multiarch
# library folder), so the package test makes its .debs from it instead of compiling
# again; the tests install it only under a folder of their own (DESTDIR).
PACKAGE_LAYOUT = -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_SYSCONFDIR=/etc \
  -DCMAKE_INSTALL_LOCALSTATEDIR=/var -DCMAKE_INSTALL_LIBDIR=lib/$(shell gcc -print-multiarch)

test: test-deps
	@cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DZ418KT_SANITIZE=ON $(PACKAGE_LAYOUT) $(LAUNCHER) >/dev/null
	@cmake --build build-test -j$(JOBS)
	cd build-test && ctest --output-on-failure -j$(JOBS)

# Release build of its own; extra flags through BENCH_ARGS (e.g. --benchmark_filter=read).
bench: test-deps
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release $(LAUNCHER) >/dev/null
	@cmake --build build-bench -j$(JOBS) --target z418kt_bench z418kt
	./build-bench/z418kt_bench $(BENCH_ARGS)

package: deps
	@scripts/install-deps.sh package
	@JOBS=$(JOBS) scripts/build-packages.sh build/packages

install: build
	cmake --install build --prefix $(PREFIX)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-test build-bench
