# The two commands a newcomer needs:
#   make demo   installs what is missing, builds, makes the demonstration data
#               and starts the player
#   make test   installs what is missing, builds and runs every test: a normal
#               build, an address+undefined sanitizer build, and a thread
#               sanitizer build of the threaded engines' tests, and every fuzz
#               target for FUZZ_SECONDS (make fuzz)
.PHONY: all setup build test test-normal test-asan test-tsan fuzz soak demo bench clean

JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# The project's own builds treat warnings as errors; a plain CMake configure does not.
WERROR := -DMV_WERROR=ON
# Tests of the engines that run threads: run again under the thread sanitizer.
TSAN_TESTS ?= platform stream timer anim sound e2e
# make soak: the soak test alone, as long as asked (ctest's entry plays 120 s).
SOAK_SECONDS ?= 1800

all: build

setup:
	@scripts/setup

build: setup
	@cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR) $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS)

test: test-normal test-asan test-tsan fuzz
	@echo "make test: all test runs passed"

test-normal: build
	@cd build && ctest --output-on-failure -j $(JOBS)

test-asan: setup
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMV_SANITIZE=address,undefined -DMV_BUILD_BENCH=OFF $(WERROR) $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS)

test-tsan: setup
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMV_SANITIZE=thread -DMV_BUILD_BENCH=OFF -DMV_BUILD_SDL=OFF $(WERROR) $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target $(addprefix test_,$(TSAN_TESTS))
	@cd build-tsan && ctest --output-on-failure -j $(JOBS) -R '^($(shell echo $(TSAN_TESTS) soak | tr ' ' '|'))$$'

# The libFuzzer targets (clang, address+undefined sanitizers, in build-fuzz),
# each run FUZZ_SECONDS on its corpus, two at a time; fails on any finding.
FUZZ_SECONDS ?= 30
fuzz: setup
	@cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR) $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS) --target make-demo-data
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMV_BUILD_FUZZ=ON -DMV_BUILD_SDL=OFF -DMV_BUILD_TESTS=OFF -DMV_BUILD_BENCH=OFF \
	  $(WERROR) $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	@FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz

soak: build
	@SOAK_SECONDS=$(SOAK_SECONDS) MV_BINARY_DIR=$(CURDIR)/build build/tests/test_e2e --gtest_filter='Soak.*'

# Each benchmark program runs BENCH_REPETITIONS times; build/bench.txt gets
# the medians and each one's ratio to its baseline from the same run.
BENCH_REPETITIONS ?= 9
bench: build
	@rm -rf build/bench-results && mkdir -p build/bench-results
	@for b in build/bench/bench_*; do echo "== $$b"; \
	  $$b --benchmark_repetitions=$(BENCH_REPETITIONS) --benchmark_report_aggregates_only=true \
	    --benchmark_out=build/bench-results/$$(basename $$b).json --benchmark_out_format=json \
	    || exit 1; done
	@build/bench/bench-table build/bench-results/*.json > build/bench.txt
	@cat build/bench.txt

# Only what the demonstration needs is built here; `make test` builds the rest.
demo: setup
	@cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR) $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS) --target morvane-demos make-demo-data santool
	@build/data/make-demo-data build/demo
	@build/morvane-demos --data=build/demo || { \
	  echo "make demo: the player could not start on this screen. Without a display, try:"; \
	  echo "  build/morvane-demos --platform=headless --data=build/demo --capture=build/screens --audio-out=build/demo.wav /cobalt2"; \
	  exit 1; }

clean:
	rm -rf build build-asan build-tsan build-fuzz
