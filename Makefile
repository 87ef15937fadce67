# Quillon's entry points. `make test` and `make run` do all the set-up on a fresh Debian machine.
SHELL := /bin/bash
ROOT := $(CURDIR)
JOBS ?= $(shell nproc)
SERVER := $(ROOT)/build/native/quillon-server
FUZZ_SECONDS ?= 600

.PHONY: all deps native native-asan native-tsan windows windows-x86 test run screens fuzz fuzz-server bench dist clean

all: native windows

deps:
	@tools/install-deps.sh

native: deps
	cmake --preset native >/dev/null
	cmake --build --preset native -j $(JOBS)

native-asan: native
	cmake --preset native-asan -DQUILLON_SERVER=$(SERVER) >/dev/null
	cmake --build --preset native-asan -j $(JOBS)

native-tsan: native
	cmake --preset native-tsan -DQUILLON_SERVER=$(SERVER) >/dev/null
	cmake --build --preset native-tsan -j $(JOBS)

windows: native
	cmake --preset windows -DQUILLON_SERVER=$(SERVER) >/dev/null
	cmake --build --preset windows -j $(JOBS)

# The 32-bit Quillon.exe, for the shops' 32-bit tills, and its Wine suites.
windows-x86: native
	cmake --preset windows-x86 -DQUILLON_SERVER=$(SERVER) >/dev/null
	cmake --build --preset windows-x86 -j $(JOBS)

test:
	@tools/run-tests.sh

# The reply/URL fuzzer for as long as asked: `make fuzz FUZZ_SECONDS=3600`; the server's request
# targets with `make fuzz-server`.
fuzz: deps
	@tools/fuzz.sh $(FUZZ_SECONDS) reply

fuzz-server: deps
	@tools/fuzz.sh $(FUZZ_SECONDS) server

# Only what the demo needs: the server and the program.
run: deps
	cmake --preset native >/dev/null
	cmake --build --preset native -j $(JOBS) --target quillon-server
	cmake --preset windows -DQUILLON_SERVER=$(SERVER) >/dev/null
	cmake --build --preset windows -j $(JOBS) --target Quillon
	@tools/run.sh

# The README's pictures, from the walk-through of this build: each window as `make run` shows it.
screens: deps
	QUILLON_WALKTHROUGH=1 $(MAKE) --no-print-directory run
	rm -f docs/screens/*.png
	cp out/run/docs/*.png docs/screens/

# The client benchmarks under Wine (figures, not tests): completion latency, CPU while waiting,
# memory and size; then the soak: what one run of the program holds over many transactions,
# closes during a poll's connect and connects answered late included. Options:
# `make bench BENCH_ARGS="--transactions 100 --wait-seconds 60" SOAK_ARGS="--transactions 200"`.
bench: native windows
	@bench/run.sh client $(ROOT)/build/windows -- $(BENCH_ARGS)
	@bench/run.sh soak $(ROOT)/build/windows -- $(SOAK_ARGS)

# What a shop installs, for one operator host: dist/*.msi, dist/*.zip, dist/SHA256SUMS.
# `make dist QUILLON_SITE_URL=http://mileage.example.com QUILLON_VERSION=1.0.1.0
#  QUILLON_CLIENT_VERSION=3 QUILLON_SIGN_PFX=shop.pfx QUILLON_SIGN_PASSWORD_FILE=pfx.pass`;
# tools/dist.sh lists them all and their defaults.
QUILLON_SITE_URL ?= http://127.0.0.1:8480
export QUILLON_VERSION QUILLON_CLIENT_VERSION QUILLON_SIGN_PFX QUILLON_SIGN_PASSWORD \
    QUILLON_SIGN_PASSWORD_FILE QUILLON_SIGN_TSA
dist: deps
	@QUILLON_SITE_URL="$(QUILLON_SITE_URL)" tools/dist.sh

clean:
	rm -rf build dist
