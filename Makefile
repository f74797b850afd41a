# A thin wrapper over the CMake presets: CMake is the build.
#   make run    installs what is missing, builds and plays the game
#   make test   installs what is missing, builds and runs every test
JOBS ?= $(shell nproc)

.PHONY: run test test-asan build deps-build deps-test windows test-windows fuzz format clean

deps-build:
	@scripts/install-deps.sh build

deps-test:
	@scripts/install-deps.sh build test

build: deps-build
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

run: build
	scripts/run.sh build/dev

test: deps-test
	cmake --preset ci
	cmake --build --preset ci -j $(JOBS)
	ctest --preset ci -j $(JOBS)

test-asan: deps-test
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
