# A thin wrapper over CMake: `make run` and `make test` are all a user needs.
BUILD ?= build
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60

.PHONY: all build run test dev bench sanitize fuzz clean

all: build

# The "release" preset, in $(BUILD).
build:
	cmake --preset release -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j

# Starts needle in examples/, which holds a small numbers.txt and sortedNumbers.txt.
run: build
	cd examples && ../$(BUILD)/needle

test: build
	cd $(BUILD) && ctest --output-on-failure -j2

# The "dev" preset: a debug build with warnings as errors, and its tests.
dev:
	cmake --preset dev $(CMAKE_FLAGS)
	cmake --build --preset dev -j
	ctest --preset dev

bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DNEEDLE_BENCH=ON -DNEEDLE_TESTS=OFF
	cmake --build build-bench -j --target needle_bench
	./build-bench/bench/needle_bench

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
# The "sanitize" preset.
sanitize:
	cmake --preset sanitize $(CMAKE_FLAGS)
	cmake --build --preset sanitize -j
	ctest --preset sanitize

# Each libFuzzer target for FUZZ_SECONDS, from the committed seeds; what it
# learns goes to build-fuzz/corpus/. Longer: make fuzz FUZZ_SECONDS=3600
fuzz:
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DNEEDLE_FUZZ=ON -DNEEDLE_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build-fuzz -j
	mkdir -p build-fuzz/corpus/numberFile build-fuzz/corpus/dialogue build-fuzz/corpus/doubleReader
	./build-fuzz/fuzz/needle_fuzz_numbers -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	  -artifact_prefix=$(CURDIR)/build-fuzz/ \
	  $(CURDIR)/build-fuzz/corpus/numberFile $(CURDIR)/fuzz/corpus/numberFile
	./build-fuzz/fuzz/needle_fuzz_dialogue -max_total_time=$(FUZZ_SECONDS) -max_len=1024 \
	  -timeout=10 -artifact_prefix=$(CURDIR)/build-fuzz/ \
	  $(CURDIR)/build-fuzz/corpus/dialogue $(CURDIR)/fuzz/corpus/dialogue
	./build-fuzz/fuzz/needle_fuzz_reader -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	  -artifact_prefix=$(CURDIR)/build-fuzz/ \
	  $(CURDIR)/build-fuzz/corpus/doubleReader $(CURDIR)/fuzz/corpus/doubleReader

clean:
	rm -rf $(BUILD) build-dev build-bench build-asan build-fuzz
