# A thin wrapper over CMake: `make run` and `make test` are all a user needs.
BUILD ?= build
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local
DESTDIR ?=
# Only our own lines, not make's "Entering directory" around every build step.
MAKEFLAGS += --no-print-directory

.PHONY: all build configure run test install uninstall deb dev bench sanitize fuzz clean

all: build

# The "release" preset, in $(BUILD).
configure:
	cmake --preset release -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j

# Builds needle alone and starts it in examples/, which holds a small
# numbers.txt and sortedNumbers.txt.
run: configure
	cmake --build $(BUILD) -j --target needle
	cd examples && $(abspath $(BUILD))/needle

# The whole suite; then the reason of every test that was skipped.
test: build
	cd $(BUILD) && ctest --output-on-failure -j2
	@awk '/: Skipped$$/ { getline why } /^\[  SKIPPED \] / && why != "" { \
	  print "skipped: " $$4 ": " why; why = "" }' $(BUILD)/Testing/Temporary/LastTest.log

# The program, its manual, licence and changelog under $(DESTDIR)$(PREFIX).
# An existing build is used as it is; only a missing one is configured.
install:
	@test -f $(BUILD)/CMakeCache.txt || $(MAKE) configure
	cmake --build $(BUILD) -j --target needle manual
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# Removes exactly what make install with the same PREFIX and DESTDIR put there:
# the files that an install into a scratch folder lists.
uninstall:
	@test -f $(BUILD)/CMakeCache.txt || $(MAKE) configure
	@cmake --build $(BUILD) -j --target needle manual >/dev/null
	@stage=$$(mktemp -d) && \
	  DESTDIR=$$stage cmake --install $(BUILD) --prefix $(PREFIX) >/dev/null && \
	  (cd $$stage && find . ! -type d) | while read -r file; do \
	    echo "rm -f $(DESTDIR)/$${file#./}"; rm -f "$(DESTDIR)/$${file#./}"; \
	  done; \
	  rm -rf $$stage
	@rmdir "$(DESTDIR)$(PREFIX)/share/doc/needle" 2>/dev/null || true

# The Debian package, in $(BUILD)/package/; the same commit always gives the
# same bytes, its files dated by the last commit.
deb: build
	SOURCE_DATE_EPOCH=$$(git log -1 --format=%ct 2>/dev/null || echo 0) \
	  cpack -G DEB --config $(BUILD)/CPackConfig.cmake -B $(BUILD)/package

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
