# make demo: set up, build, run the main job.  make test: set up, build, run every test.
# make test also runs the sanitizer builds (asan, tsan), a short run of every fuzz target and the
# Windows stage (make test-windows).
# make fuzz: every fuzz target for FUZZ_SECONDS.  make bench: the module against peer decoders.
# make memcheck: valgrind over vxhost.  make coverage: line and branch coverage of module and host.
# make windows: the i686 and x86-64 Windows builds (build-win32/, build-win64/); make test-windows:
# both builds, their exports, and the x86-64 tests and vxhost byte check under wine64.
BUILD ?= build
JOBS ?= 2
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 5
export JOBS

.PHONY: all setup build demo test test-plain asan tsan fuzz fuzz-smoke bench memcheck coverage windows test-windows clean

all: build

setup:
	@scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)

test: test-plain asan tsan fuzz-smoke test-windows

test-plain: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

asan: setup
	@scripts/sanitize.sh asan

tsan: setup
	@scripts/sanitize.sh tsan

fuzz-smoke: setup
	@scripts/fuzz.sh $(FUZZ_SMOKE_SECONDS)

fuzz: setup
	@scripts/fuzz.sh $(FUZZ_SECONDS)

windows: setup
	@scripts/setup.sh windows
	@scripts/windows.sh build

test-windows: build
	@scripts/setup.sh windows
	@BUILD=$(BUILD) scripts/windows.sh test

bench: build
	@scripts/setup.sh bench
	@scripts/bench.sh $(BUILD)

memcheck: build
	@scripts/memcheck.sh $(BUILD)

coverage: setup
	@scripts/coverage.sh

clean:
	rm -rf $(BUILD) build-*
