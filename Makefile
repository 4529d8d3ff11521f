# Thin wrapper over the CMake presets.
.PHONY: all deps build install test check test32 demo bench sanitize fuzz clean xcos windows test-windows dist fmu

all: build

deps:
	@scripts/install-deps.sh build
	@scripts/build-static-libs.sh linux

build: deps
	cmake --preset default
	cmake --build --preset default

# GNU Octave, gnuplot and Slurm are installed too when run as root; otherwise their
# tests show as skipped.
test: deps
	@scripts/install-deps.sh --optional octave demo scilab slurm windows clang
	@$(MAKE) --no-print-directory build
	ctest --preset default
	@if scripts/install-deps.sh windows >/dev/null 2>&1; then $(MAKE) --no-print-directory test-windows || exit 1; $(IA32_NOTE) \
	   "the 32-bit Wine runs were skipped (the 32-bit builds and their library checks ran)"; \
	 else echo "Windows tests skipped: mingw-w64 or Wine is not installed (scripts/install-deps.sh windows as root)"; fi

# One line where the machine runs no 32-bit programs, saying what follows.
IA32_NOTE = found=$$(scripts/probe-ia32.sh) || echo "32-bit programs: $$found:"

# The fast parts of the tests (labels unit, engine, blocksim): no Octave,
# Xcos, Slurm or other slow test. ctest -L LABEL runs one part.
check: deps
	@$(MAKE) --no-print-directory build
	ctest --preset default --label-exclude "octave|xcos|slurm|slow" -j2

# Only blocksim and the block libraries: no tests, benchmarks or fuzz replays.
demo: deps
	@scripts/install-deps.sh demo
	cmake --preset default
	cmake --build --preset default --target blocksim
	./build/default/tools/blocksim run --out build/demo/engine.csv --plot build/demo/engine.png

# Each block as an FMI 2.0 FMU (co-simulation and model exchange),
# build/fmu/NAME.fmu, with binaries for linux64 and, once make windows has
# built them, win64 and win32.
fmu: deps
	cmake --preset default
	cmake --build --preset default --target fmus
	@if [ -d build/windows64/fmi/stage ] || [ -d build/windows32/fmi/stage ]; then \
	  cmake -DFMU_DIR="$(CURDIR)/build/fmu" -DSTAGES="$(CURDIR)/build/windows64/fmi/stage;$(CURDIR)/build/windows32/fmi/stage" \
	        -P cmake/add_fmu_binaries.cmake; fi

# blocksim on PATH and the block libraries where it finds them: PREFIX/bin
# and PREFIX/lib/engine-blocks.
PREFIX ?= /usr/local
install: build
	cmake --install build/default --prefix "$(PREFIX)"

bench: build
	./build/default/bench/blocks_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
	./build/default/bench/engine_bench
	bench/host_share.sh build/default/tools/blocksim examples/engine_hour.yaml 3.6
	bench/sweep_bench.sh build/default/tools/blocksim
	./build/default/bench/fmu_bench
	bench/windows_bench.sh "$(CURDIR)"

# The blocks, the stand-in SDK and the host's block tests built with -m32.
test32: deps
	@scripts/install-deps.sh m32
	cmake --preset m32
	cmake --build --preset m32
	ctest --preset m32
	@$(IA32_NOTE) "make test32 ran its programs under qemu-i386"

# The blocks as 64-bit and 32-bit Windows libraries, build/windows64/blocks/NAME.mexw64
# and build/windows32/blocks/NAME.mexw32, cross-built with mingw-w64, and the
# binaries blocksim export puts into a model's FMU, in build/default/blocks/win64
# and win32.
# The host's libraries (yaml-cpp, SUNDIALS, CLI11) are cross-built first, once,
# into build/windows-libs-64 and -32.
windows: deps
	@scripts/install-deps.sh windows
	scripts/build-static-libs.sh 64
	cmake --preset windows64
	cmake --build --preset windows64 --target blocks fmus
	cmake -E copy_directory build/windows64/fmi/model-stage build/default/blocks
	scripts/build-static-libs.sh 32
	cmake --preset windows32
	cmake --build --preset windows32 --target blocks fmus
	cmake -E copy_directory build/windows32/fmi/model-stage build/default/blocks

# Every Windows library checked as the host sees it; the core, block and
# engine tests built for Windows and run under Wine; the example models run
# by the Windows host against the Linux blocksim's runs (make build first).
test-windows: windows
	cmake --build --preset windows64
	ctest --preset windows64
	cmake --build --preset windows32
	ctest --preset windows32

# The release archives: dist/engine-blocks-VERSION-windows.zip (the Windows
# libraries and their sources) and dist/engine-blocks-VERSION-linux.tar.gz.
dist: build windows
	cmake -DSOURCE_DIR="$(CURDIR)" -DLINUX_BUILD="$(CURDIR)/build/default" -DWINDOWS64_BUILD="$(CURDIR)/build/windows64" \
	      -DWINDOWS32_BUILD="$(CURDIR)/build/windows32" -DOUT="$(CURDIR)/dist" -P cmake/dist.cmake

sanitize: deps
	cmake --preset sanitize
	cmake --build --preset sanitize
	ctest --preset sanitize

# Every fuzz harness for FUZZ_SECONDS each (two at a time).
FUZZ_SECONDS ?= 30
fuzz: deps
	@scripts/install-deps.sh fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz
	fuzz/run_fuzzers.sh $(FUZZ_SECONDS)

# The Xcos toolbox (xcos/): Scilab installed when run as root, then the
# block libraries and the computational function in build/default.
xcos: deps
	@scripts/install-deps.sh scilab
	cmake --preset default
	cmake --build --preset default --target xcos

clean:
	rm -rf build
