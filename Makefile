# Front door. `make test` and `make dist` install what is missing, configure
# through the CMake presets and build; see README.md.
.PHONY: all setup test test-host test-wine dist demo fuzz bench clean

all: dist

setup:
	@scripts/setup-toolchain

# Every test: the host tier, then the Wine tier.
test: test-host test-wine

test-host: setup
	cmake --workflow --preset host

# The 32-bit build is always made and its deliverables checked; its Wine tier
# runs where Wine can run 32-bit programs and is skipped elsewhere. There the
# same tests run on the 64-bit build of the same sources.
test-wine: setup
	cmake --workflow --preset win
	@if ! scripts/wine-runs-32bit; then \
	    echo "32-bit programs cannot run on this machine: Wine tier on the 64-bit build"; \
	    cmake --workflow --preset win64; \
	fi

dist: setup
	cmake --preset win
	cmake --build --preset win
	mkdir -p dist
	cp build/win/bin/tolvane.exe build/win/bin/pellmar.exe dist/
	@ls -l dist

# The watchdog at work under Wine, on the build this machine can run.
demo: setup
	@if scripts/wine-runs-32bit; then preset=win; else preset=win64; fi; \
	cmake --preset $$preset && cmake --build --preset $$preset && scripts/demo build/$$preset

FUZZ_SECONDS ?= 600
fuzz: setup
	cmake --preset host
	cmake --build --preset host --target stamp_fuzz
	build/host/tests/host/fuzz/stamp_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=2 -max_len=64 \
	    -dict=tests/host/fuzz/stamp.dict

bench: setup
	cmake --preset host
	cmake --build --preset host --target stamp_bench
	build/host/bench/stamp_bench

clean:
	rm -rf build dist
