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

# The Wine tier runs the 32-bit programs that ship: natively where the kernel
# runs 32-bit code, else through a user-mode i386 emulator in a namespace of
# the run's own (scripts/with-wine32). Only where neither works does it run
# on the 64-bit build of the same sources; the 32-bit build is still made and
# its deliverables checked.
test-wine: setup
	@mode=$$(scripts/wine32-mode); echo "Wine tier: 32-bit Wine is $$mode here"; \
	cmake --preset win && cmake --build --preset win || exit 1; \
	if [ $$mode = fallback ]; then \
	    echo "Wine tier: 32-bit programs cannot run here; running it on the 64-bit build"; \
	    ctest --preset win && cmake --workflow --preset win64; \
	else \
	    scripts/with-wine32 ctest --preset win; \
	fi

dist: setup
	cmake --preset win
	cmake --build --preset win
	mkdir -p dist
	cp build/win/bin/tolvane.exe build/win/bin/pellmar.exe dist/
	@ls -l dist

# The watchdog at work under Wine, on the 32-bit build wherever it can run.
demo: setup
	@mode=$$(scripts/wine32-mode); echo "Demo: 32-bit Wine is $$mode here"; \
	if [ $$mode = fallback ]; then preset=win64; else preset=win; fi; \
	cmake --preset $$preset && cmake --build --preset $$preset && \
	if [ $$mode = fallback ]; then scripts/demo build/$$preset; \
	else scripts/with-wine32 scripts/demo build/$$preset; fi

# Every fuzz target, FUZZ_SECONDS each (the host tier runs each for 5 s).
FUZZ_SECONDS ?= 120
fuzz: setup
	cmake --preset host
	cmake --build --preset host
	FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --preset host -L fuzz

bench: setup
	cmake --preset host
	cmake --build --preset host --target stamp_bench
	build/host/bench/stamp_bench

clean:
	rm -rf build dist
