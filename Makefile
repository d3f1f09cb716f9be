# A thin wrapper over CMake: `make run` and `make test` are all a user needs.
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all build run test bench clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j

# Starts needle in examples/, which holds a small numbers.txt and sortedNumbers.txt.
run: build
	cd examples && ../$(BUILD)/needle

test: build
	cd $(BUILD) && ctest --output-on-failure -j2

bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DNEEDLE_BENCH=ON -DNEEDLE_TESTS=OFF
	cmake --build build-bench -j --target needle_bench
	./build-bench/bench/needle_bench

clean:
	rm -rf $(BUILD) build-bench
