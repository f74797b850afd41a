# A thin wrapper over the CMake presets: CMake is the build.
#   make run    installs what is missing, builds and plays the game
#   make test   installs what is missing, builds and runs every test
#   make check  builds and runs only the unit tests: seconds once built
JOBS ?= $(shell nproc)

.PHONY: run test check test-under-load test-asan build deps-build deps-test windows test-windows web test-web serve-web measure-web fuzz fuzz-long soak-long format lint clean

deps-build:
	@scripts/install-deps.sh build

deps-test:
	@scripts/install-deps.sh build test fuzz

build: deps-build
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

run: build
	scripts/run.sh build/dev

test: deps-test
	cmake --preset ci
	cmake --build --preset ci -j $(JOBS)
	ctest --preset ci -j $(JOBS)
	scripts/reliability.sh fuzz-short 60

# The quick loop while working: the same warnings-as-errors build as make
# test, then only the tests labelled unit (tests/CMakeLists.txt gives each
# test its label); the runs under Xvfb, the package, soak and faults wait for
# make test.
check: deps-build
	cmake --preset ci
	cmake --build --preset ci -j $(JOBS)
	ctest --preset ci -L unit -j $(JOBS)

# The same tests with every core kept busy by stress-ng, as on a machine that
# is doing other work: they must pass there too. UNDER_LOAD names another
# target to run that way, e.g. make test-under-load UNDER_LOAD=test-web.
UNDER_LOAD ?= test
test-under-load:
	@scripts/install-deps.sh load
	scripts/under-load.sh $(MAKE) $(UNDER_LOAD)

test-asan: deps-test
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# clang-tidy (.clang-tidy) over the product code and a clang-format check of
# every source file; reads the ci build's compile commands.
lint:
	@scripts/install-deps.sh build lint
	cmake --preset ci
	scripts/lint.sh

clean:
	rm -rf build

# The Windows game, cross-built with mingw-w64: build/windows/app/win32/nuvalo.exe,
# and the zip and the installer in build/windows/package/.
windows:
	@scripts/install-deps.sh build windows
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)
	cmake --build --preset windows --target package
	cmake --build --preset windows --target installer

# The Windows build's tests under wine, the end-to-end ones in a private Xvfb
# display (the first run also makes the wine prefix in ~/.cache/nuvalo).
test-windows: windows
	tests/windows/wine-run.sh --prepare
	ctest --preset windows -j $(JOBS)

# The browser build: the page in build/web/site/ (index.html, nuvalo.js and
# .wasm, Ton/), and nuvalo-sim and the tests for node.
web:
	@scripts/install-deps.sh web
	cmake --preset web
	cmake --build --preset web -j $(JOBS)

# Its tests: the unit tests and golden trace under node, then the page played
# in Chromium, Firefox ESR and WebKitGTK from a server on 127.0.0.1.
test-web: web
	@scripts/install-deps.sh web-test
	ctest --preset web -j $(JOBS)

# Serves the page on 127.0.0.1 (PORT=0 for any free port) and prints its address.
PORT ?= 8600
serve-web: web
	node scripts/serve-web.mjs build/web/site $(PORT)

# The page's figures over 30 s in one engine (ENGINE=chromium, firefox or
# webkit): tick period, work per tick, time to the first frame; in Chromium
# also the CPU of each of its processes.
ENGINE ?= chromium
measure-web: web
	@scripts/install-deps.sh web-test
	cmake --preset web -DNUVALO_MEASURE_ENGINE=$(ENGINE) >/dev/null
	cmake --build --preset web --target measure-web

# Reliability runs (scripts/reliability.sh): the short fuzz run, 60 s per
# target with the targets at once; the long fuzz run, ten million executions
# per target, shared among one worker per core; the long soak, a hundred
# million ticks under the sanitizers.
fuzz:
	@scripts/install-deps.sh build fuzz
	scripts/reliability.sh fuzz-short 60

fuzz-long:
	@scripts/install-deps.sh build fuzz
	WORKERS=$(JOBS) scripts/reliability.sh fuzz-long 10000000

soak-long: deps-test
	scripts/reliability.sh soak-long 100000000
