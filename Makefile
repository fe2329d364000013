# The two commands of the README: `make run` and `make test`. Each installs what it needs.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
NATIVE := build/native
WIN := build/win
RELEASE := build/release

.PHONY: all deps native windows release test test-fast run bench fuzz fuzz-short clean

all: native windows

deps:
	@scripts/install-deps.sh

native: deps
	@cmake -S . -B $(NATIVE) -DQV_SANITIZE=ON >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

windows: deps
	@cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build $(WIN) -j$(JOBS)

release: deps
	@cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(RELEASE) -j$(JOBS)

# Every test: native (sanitized) and Windows (under Wine) unit and integration tests,
# then the end-to-end suite. `make test-fast` leaves the end-to-end suite out.
test: native windows
	@scripts/run-tests.sh all

test-fast: native windows
	@scripts/run-tests.sh fast

run: windows
	@scripts/run-program.sh

bench: release
	@bench/run.sh

# Fuzz targets (clang, libFuzzer) in build/fuzz: QV_FUZZ_SECONDS each (default 60);
# fuzz-short shares about a minute among them, as `make test` does.
fuzz: deps
	@scripts/fuzz.sh

fuzz-short: deps
	@scripts/fuzz.sh --total 60

clean:
	rm -rf build
