# The two commands of the project: `make run` and `make test`.
BUILD_RELEASE := build/release
BUILD_TEST := build/asan
BUILD_BENCH := build/bench
BUILD_FUZZ := build/fuzz
FUZZ_SECONDS ?= 60
CMAKE_FLAGS := -G Ninja -Wno-dev
TEST_JOBS ?= 6

.PHONY: run test package bench bench-calls bench-latency fuzz deps build-release build-test screenshots clean

deps:
	./scripts/install-deps.sh

build-release: deps
	cmake -S . -B $(BUILD_RELEASE) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DORVSIP_TESTS=OFF
	cmake --build $(BUILD_RELEASE)

# trn on a desktop (X11 or Wayland), the console host orvua otherwise.
run: build-release
	$(BUILD_RELEASE)/tools/orvregister
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then $(BUILD_RELEASE)/softphone/trn; else $(BUILD_RELEASE)/tools/orvua; fi

# The Debian packages of the release build, in build/release (README, "Installing").
package: build-release
	cmake --build $(BUILD_RELEASE) --target package

build-test: deps
	cmake -S . -B $(BUILD_TEST) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DORVSIP_SANITIZE=ON
	cmake --build $(BUILD_TEST)

test: build-test
	cd $(BUILD_TEST) && ctest --output-on-failure -j $(TEST_JOBS)

bench: deps
	cmake -S . -B $(BUILD_BENCH) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DORVSIP_TESTS=OFF -DORVSIP_BENCH=ON
	cmake --build $(BUILD_BENCH)
	@echo "Benchmarks built in $(BUILD_BENCH)/bench"

# Every fuzz target runs FUZZ_SECONDS (default 60) in turn; one summary line each.
fuzz: deps
	cmake -S . -B $(BUILD_FUZZ) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
		-DCMAKE_CXX_COMPILER=clang++ -DORVSIP_FUZZ=ON
	cmake --build $(BUILD_FUZZ) --target fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) tests/fuzz/run_fuzzers.sh $(BUILD_FUZZ)

# CPU per call side and idle, orvua against baresip on loopback (README, Benchmarks).
bench-calls: bench
	python3 bench/bench_calls.py --orvua $(BUILD_BENCH)/tools/orvua --floor $(BUILD_BENCH)/bench/wake_floor

# One-way delay of a call and its playout under jitter, orvua beside baresip (README, Benchmarks).
bench-latency: bench
	python3 bench/bench_latency.py --orvua $(BUILD_BENCH)/tools/orvua

screenshots: deps
	./scripts/screenshots.sh

clean:
	rm -rf build
