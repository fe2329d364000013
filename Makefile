# The two commands of the README: `make run` and `make test`. Each installs what it needs.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
NATIVE := build/native
WIN := build/win
WIN64 := build/win64
RELEASE := build/release

.PHONY: all deps native windows windows64 release dist check-reproducible test test-dist test-fast run bench fuzz fuzz-short clean

all: native windows windows64

deps:
	@scripts/install-deps.sh

native: deps
	@cmake --no-warn-unused-cli -S . -B $(NATIVE) -DQV_SANITIZE=ON >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

# The Windows program, 32-bit (the product) and 64-bit (the one tests run where a
# machine cannot run 32-bit programs), each with its satellites and test programs.
windows: deps
	@cmake --no-warn-unused-cli -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build $(WIN) -j$(JOBS)

windows64: deps
	@cmake --no-warn-unused-cli -S . -B $(WIN64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	@cmake --build $(WIN64) -j$(JOBS)

# The release build, which the .deb packs, takes Debian's hardening flags
# (scripts/build-flags.sh).
release: deps
	@cmake --no-warn-unused-cli -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_CXX_FLAGS="$$(scripts/build-flags.sh CXX)" -DCMAKE_EXE_LINKER_FLAGS="$$(scripts/build-flags.sh LD)" >/dev/null
	@cmake --build $(RELEASE) -j$(JOBS)

# Release packages in dist/ (packaging/dist.sh): the portable zips and the installers of
# both Windows programs, the Linux peer's .deb, and SHA256SUMS. The version is VERSION's.
dist: release windows windows64
	@packaging/dist.sh

# Two `make dist` runs from the last commit, in fresh clones: the same SHA256SUMS (not part
# of `make test`; it takes two whole builds).
check-reproducible: deps
	@scripts/check-reproducible.sh

# The packages' own tests (tests/dist): the zips' contents, the .deb installed and
# removed, and the installer of the Windows program this machine runs, under Wine.
test-dist: dist
	@tests/dist/run.sh

# Every test: the include rules of the source layout, native (sanitized) unit and
# integration tests, a static check of both Windows builds, the Windows build this
# machine can run (under Wine), the end-to-end suite, then the release packages' tests
# (as make test-dist). `make test-fast` leaves the fuzzing, the end-to-end suite and the
# packages out.
test: native windows windows64 dist
	@scripts/run-tests.sh all

test-fast: native windows windows64
	@scripts/run-tests.sh fast

# Starts the Windows build this machine can run (it builds that one first).
run: deps
	@scripts/run-program.sh

bench: deps
	@bench/run.sh

# Fuzz targets (clang, libFuzzer) in build/fuzz: QV_FUZZ_SECONDS each (default 60);
# fuzz-short shares about a minute among them, as `make test` does.
fuzz: deps
	@scripts/fuzz.sh

fuzz-short: deps
	@scripts/fuzz.sh --total 60

clean:
	rm -rf build dist
