# Front door of the project. `make test` installs what is missing, configures,
# builds and runs every test through CTest.
BUILD ?= build
JOBS  ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps deps-run configure build test test-unit bench strict test-asan test-tsan clean install package check-package demo-web

all: build

# Every package the build, the tests, benchmarks and CI need; deps-run only
# those the library, tools, bindings and demos need (scripts/install-deps.sh).
deps:
	@bash scripts/install-deps.sh all

deps-run:
	@bash scripts/install-deps.sh run

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

# The unit tests only (CTest label "unit": in-process, no pty, no other
# process); `ctest -LE unit` runs the rest, the system tests.
test-unit: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600 -L unit

# The strict build (ORQ_STRICT): the whole tree, tests, tools and benchmarks,
# with the stricter warnings of CMakeLists.txt, each an error. Builds only;
# `make test` runs the tests.
strict: deps
	@cmake -S . -B build-strict -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORQ_STRICT=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-strict -j $(JOBS)

# Installs the library, header, CMake and pkg-config files, Java jar, tools,
# Python package and docs into PREFIX (lib/, include/orq/, bin/, share/).
PREFIX ?= /usr/local
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package (build/orq_<version>_<arch>.deb), made by CPack from the
# same install rules, with prefix /usr.
package: build
	@cd $(BUILD) && cpack -G DEB

# Builds the package, installs it with dpkg -i, checks it is usable and that
# dpkg -r removes every file it brought (needs root).
check-package: package
	@bash scripts/check-package.sh $(BUILD)

# Every benchmark of the library, each figure printed beside its baseline
# measured in the same run, the ratio and its goal (see
# docs/performance.md). Release build of its own; takes a few minutes.
bench: deps
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	@env -u MAKEFLAGS -u MAKELEVEL cmake --build build-bench -j $(JOBS) --target bench_receive bench_instructions bench_system
	@bash bench/run_bench.sh build-bench

# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, halting
# on the first report. Tests that run inside a JVM are left out: the JVM does
# not carry the sanitizer runtime. So are the browser test (Chromium and Node
# do not either; the server's own endpoint tests stay in) and the 30 s load
# test, whose figures mean nothing under a sanitizer.
test-asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORQ_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) --timeout 900 -LE 'java|browser|load'

# The suite under ThreadSanitizer (every test that starts threads is in it),
# less the same labels as above.
test-tsan: deps
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORQ_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
		ctest --output-on-failure -j $(JOBS) --timeout 900 -LE 'java|browser|load'

# The demos build in a tree of their own (DEMO_BUILD) only the programs they
# run, without tests or benchmarks, and install only the run set of packages:
# a few minutes on a fresh machine, where `make build` takes half an hour.
DEMO_BUILD ?= build-demo
.PHONY: demo demo-configure
demo-configure: deps-run
	@cmake -S . -B $(DEMO_BUILD) -DCMAKE_BUILD_TYPE=Release -DORQ_BUILD_TESTS=OFF -DORQ_BUILD_BENCHMARKS=OFF $(CMAKE_FLAGS) >/dev/null

# A simulated flight board and ground station on a pseudo-terminal, watched by
# the monitor for 15 s while it sets the board's GPS mode to Home; the run is
# recorded and plotted (orq-plot runs orq-dump).
demo: demo-configure
	@cmake --build $(DEMO_BUILD) -j $(JOBS) --target orq-sim orq-monitor orq-dump
	@bash tools/demo.sh $(DEMO_BUILD)

# The simulator served by orq-server with its live dashboard; prints the URL
# and runs until Ctrl-C (ORQ_PORT=N for another port than 8080).
demo-web: demo-configure
	@cmake --build $(DEMO_BUILD) -j $(JOBS) --target orq-sim orq-server
	@bash tools/demo-web.sh $(DEMO_BUILD)

clean:
	rm -rf build build-asan build-tsan build-bench build-strict $(DEMO_BUILD)
