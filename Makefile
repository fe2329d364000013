# The two commands of the README: `make run` and `make test`. Each installs what it needs.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
NATIVE := build/native
WIN := build/win
WIN64 := build/win64
RELEASE := build/release

.PHONY: all help deps native windows windows64 release dist check-reproducible test test-dist test-fast lint format-check compile-commands run bench fuzz fuzz-short clean

all: native windows windows64 ## the native build and both Windows programs (the default)

# Every target with its line: each target line ends with "## what it does".
help: ## this list
	@grep -E '^[a-z0-9-]+:.*## ' $(MAKEFILE_LIST) | sed -E 's/^([a-z0-9-]+):.*## (.*)$$/\1\t\2/' | expand -t 22


deps: ## installs the Debian packages and npm tools (scripts/install-deps.sh)
	@scripts/install-deps.sh

native: deps ## the Linux peer and the native tests, sanitized, in build/native
	@cmake --no-warn-unused-cli -S . -B $(NATIVE) -DQV_SANITIZE=ON >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

# The Windows program, 32-bit (the product) and 64-bit (the one tests run where a
# machine cannot run 32-bit programs), each with its satellites and test programs.
windows: deps ## the 32-bit Windows program, satellites and tests, in build/win
	@cmake --no-warn-unused-cli -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build $(WIN) -j$(JOBS)

windows64: deps ## the 64-bit Windows program, satellites and tests, in build/win64
	@cmake --no-warn-unused-cli -S . -B $(WIN64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	@cmake --build $(WIN64) -j$(JOBS)

# The release build, which the .deb packs, takes Debian's hardening flags
# (scripts/build-flags.sh).
release: deps ## the Linux peer with hardening flags, in build/release
	@cmake --no-warn-unused-cli -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_CXX_FLAGS="$$(scripts/build-flags.sh CXX)" -DCMAKE_EXE_LINKER_FLAGS="$$(scripts/build-flags.sh LD)" >/dev/null
	@cmake --build $(RELEASE) -j$(JOBS)

# Release packages in dist/ (packaging/dist.sh): the portable zips and the installers of
# both Windows programs, the Linux peer's .deb, and SHA256SUMS. The version is VERSION's.
dist: release windows windows64 ## the release packages in dist/
	@packaging/dist.sh

# Two `make dist` runs from the last commit, in fresh clones: the same SHA256SUMS (not part
# of `make test`; it takes two whole builds).
check-reproducible: deps ## two make dist runs in fresh clones give the same SHA256SUMS
	@scripts/check-reproducible.sh

# The packages' own tests (tests/dist): the zips' contents, the .deb installed and
# removed, and the installer of the Windows program this machine runs, under Wine.
test-dist: dist ## the release packages' own tests (tests/dist)
	@tests/dist/run.sh

# Every test: the include rules of the source layout, the docs' links and names, the C++
# format, native (sanitized) unit and integration tests, clang-tidy, a static check of
# both Windows builds, the Windows build this machine can run (under Wine), the
# end-to-end suite, then the release packages' tests (as make test-dist). `make test-fast`
# leaves the fuzzing, the end-to-end suite and the packages out.
test: native windows windows64 dist ## every test: native, Windows under Wine, end to end, fuzzing, packages
	@scripts/run-tests.sh all

test-fast: native windows windows64 ## the tests without fuzzing, end-to-end suite and packages
	@scripts/run-tests.sh fast

# clang-tidy (.clang-tidy) over the native build's sources; it needs only the native
# build configured, for its compile_commands.json.
lint: deps ## clang-tidy over the native build's sources; any finding fails
	@cmake --no-warn-unused-cli -S . -B $(NATIVE) -DQV_SANITIZE=ON >/dev/null
	@scripts/lint.sh

# One compile_commands.json at the root for editors: the native and both Windows builds
# merged (scripts/compile-commands.py), each configured first.
compile-commands: deps ## compile_commands.json at the root, for editors (all three builds)
	@cmake --no-warn-unused-cli -S . -B $(NATIVE) -DQV_SANITIZE=ON >/dev/null
	@cmake --no-warn-unused-cli -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --no-warn-unused-cli -S . -B $(WIN64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	@scripts/compile-commands.py

format-check: ## every tracked C++ file is as clang-format (.clang-format) writes it
	@scripts/check-format.sh

# Starts the Windows build this machine can run (it builds that one first).
run: deps ## builds and starts the Windows program this machine can run, under Wine
	@scripts/run-program.sh

bench: deps ## the benchmarks (timings only)
	@bench/run.sh

# Fuzz targets (clang, libFuzzer) in build/fuzz: QV_FUZZ_SECONDS each (default 60);
# fuzz-short shares about a minute among them, as `make test` does.
fuzz: deps ## every fuzz target for QV_FUZZ_SECONDS (default 60) each
	@scripts/fuzz.sh

fuzz-short: deps ## the fuzz targets, a minute shared among them
	@scripts/fuzz.sh --total 60

clean: ## removes build/ and dist/
	rm -rf build dist
