# Front door. `make test` and `make dist` install what is missing, configure
# through the CMake presets and build; see README.md.
.PHONY: all setup test test-host test-wine soak dist release demo fuzz bench clean

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

# The long soak on real kernel objects: at least 1000 sweeps with chaos.
soak: setup
	@mode=$$(scripts/wine32-mode); echo "Soak: 32-bit Wine is $$mode here"; \
	if [ $$mode = fallback ]; then preset=win64; else preset=win; fi; \
	cmake --preset $$preset && cmake --build --preset $$preset || exit 1; \
	if [ $$mode = fallback ]; then KELM_SOAK_LONG=1 ctest --preset win64 -R soak -V; \
	else KELM_SOAK_LONG=1 scripts/with-wine32 ctest --preset win -R soak -V; fi

dist: setup
	cmake --preset win
	cmake --build --preset win
	mkdir -p dist
	cp build/win/bin/tolvane.exe build/win/bin/pellmar.exe dist/
	@ls -l dist

# dist/<product>-<version>.zip for operators, reproducible; signed when
# SIGN_CERT and SIGN_KEY (and SIGN_PASS) are given, on the command line or in
# the environment, which make hands on to the packaging (see README.md).
release: setup
	cmake --preset win
	cmake --build --preset win --target release

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

# Measures, never fails a test: the stamp parser on the host, then the
# watchdog's costs under Wine on the 32-bit build wherever it can run
# (scripts/bench).
bench: setup
	cmake --preset host
	cmake --build --preset host --target stamp_bench
	build/host/bin/stamp_bench
	@mode=$$(scripts/wine32-mode); \
	if [ $$mode = fallback ]; then preset=win64; else preset=win; fi; \
	cmake --preset $$preset && cmake --build --preset $$preset || exit 1; \
	if [ $$mode = fallback ]; then scripts/bench build/$$preset $$mode; exit; fi; \
	if [ $$mode = emulated ]; then \
	    echo "Bench: 32-bit code is emulated here; the 64-bit build runs alongside, natively"; \
	    cmake --preset win64 >/dev/null && \
	    cmake --build --preset win64 --target tolvane segholder idlebare procwatch floor_bench || exit 1; \
	    native=build/win64; \
	fi; \
	scripts/with-wine32 scripts/bench build/$$preset $$mode $$native

clean:
	rm -rf build dist
