# A thin wrapper over CMake: `make run` and `make test` are all a user needs.
# Every path is quoted, so that the clone, BUILD, PREFIX and DESTDIR may hold
# spaces.
BUILD ?= build
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local
DESTDIR ?=
# As many compile jobs as the machine has processors.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Only our own lines, not make's "Entering directory" around every build step.
MAKEFLAGS += --no-print-directory

# For make cross and make cross-test: arm64, s390x, i386, armhf, ppc64el or
# riscv64, as Debian names them.
ARCH ?= arm64
CROSS_ARCHS := arm64 s390x i386 armhf ppc64el riscv64

.PHONY: all build configure run test install uninstall installed-build deb dev bench sanitize tsan \
        fuzz cross cross-test clean

all: build

# The "release" preset, in $(BUILD).
configure:
	cmake --preset release -B "$(BUILD)" $(CMAKE_FLAGS)

build: configure
	cmake --build "$(BUILD)" -j $(JOBS)

# Builds needle alone and starts it in examples/, which holds a small
# numbers.txt and sortedNumbers.txt.
run: configure
	cmake --build "$(BUILD)" -j $(JOBS) --target needle
	@build_dir="$$(cd "$(BUILD)" && pwd)" && cd examples && "$$build_dir/needle"

# The whole suite; then the reason of every test that was skipped. The tests
# need GoogleTest, which only they need: without it, say what to install.
test: configure
	@test -f "$(BUILD)/tests/CTestTestfile.cmake" || { \
	  echo "make test: GoogleTest was not found; install it (Debian: sudo apt-get install" \
	       "libgtest-dev), then run make test again" >&2; exit 1; }
	cmake --build "$(BUILD)" -j $(JOBS)
	cd "$(BUILD)" && ctest --output-on-failure -j $(JOBS)
	@awk '/: Skipped$$/ { getline why } /^\[  SKIPPED \] / && why != "" { \
	  print "skipped: " $$4 ": " why; why = "" }' "$(BUILD)/Testing/Temporary/LastTest.log"

# The program and its manual, built for make install and make uninstall. A
# build tree that is someone else's is used as it is, without building:
# `sudo make install` after `make` must write nothing there (even a build
# with nothing to do rewrites files), or the next `make` as yourself fails.
installed-build:
	@if [ ! -f "$(BUILD)/CMakeCache.txt" ]; then \
	  if [ -n "$$SUDO_UID" ]; then \
	    echo "make install: build needle as yourself first (make), then sudo make install" >&2; \
	    exit 1; \
	  fi; \
	  $(MAKE) configure; \
	fi
	@if [ -O "$(BUILD)/CMakeCache.txt" ]; then \
	  cmake --build "$(BUILD)" -j $(JOBS) --target needle manual; \
	elif [ ! -f "$(BUILD)/needle" ] || [ ! -f "$(BUILD)/needle.1.gz" ]; then \
	  echo "make install: $(BUILD) is not built; run make as its owner first" >&2; exit 1; \
	fi

# The program, its manual, licence, changelog and lintian overrides under
# $(DESTDIR)$(PREFIX). cmake --install leaves a list of what it installed in
# the build tree, which nothing here uses: it goes, so that no file there is
# root's after a sudo.
install: installed-build
	@DESTDIR="$(DESTDIR)" cmake --install "$(BUILD)" --prefix "$(PREFIX)"; \
	  status=$$?; rm -f "$(BUILD)/install_manifest.txt"; exit $$status

# Removes exactly what make install with the same PREFIX and DESTDIR put there:
# the files that an install into a scratch folder lists, then each of its
# folders below PREFIX that is left empty, deepest first (rmdir leaves any
# that is not: /usr/local/bin still holds other programs).
uninstall: installed-build
	@stage=$$(mktemp -d) && \
	  DESTDIR="$$stage" cmake --install "$(BUILD)" --prefix "$(PREFIX)" >/dev/null && \
	  rm -f "$(BUILD)/install_manifest.txt" && \
	  (cd "$$stage" && find . ! -type d) | while read -r file; do \
	    echo "rm -f $(DESTDIR)/$${file#./}"; rm -f "$(DESTDIR)/$${file#./}"; \
	  done; \
	  (cd "$$stage/$(PREFIX)" && find . -mindepth 1 -type d) | sort -r | while read -r dir; do \
	    rmdir "$(DESTDIR)$(PREFIX)/$${dir#./}" 2>/dev/null || true; \
	  done; \
	  rm -rf "$$stage"

# The Debian package, in $(BUILD)/package/; the same commit always gives the
# same bytes, its files dated by the last commit. Its Depends line comes from
# dpkg-shlibdeps: without it the package would silently depend on nothing.
# Only what the package holds is built, not the test suite.
deb:
	@command -v dpkg-shlibdeps >/dev/null 2>&1 || { \
	  echo "make deb: dpkg-shlibdeps, which computes the package's dependencies, is not" \
	       "installed (Debian: sudo apt-get install dpkg-dev)" >&2; exit 1; }
	@$(MAKE) configure
	cmake --build "$(BUILD)" -j $(JOBS) --target needle manual
	SOURCE_DATE_EPOCH=$$(git log -1 --format=%ct 2>/dev/null || echo 0) \
	  cpack -G DEB --config "$(BUILD)/CPackConfig.cmake" -B "$(BUILD)/package"

# needle and its tests cross-built for ARCH into build-ARCH with Debian's
# cross compiler (g++-aarch64-linux-gnu, g++-s390x-linux-gnu,
# g++-i686-linux-gnu, g++-arm-linux-gnueabihf, g++-powerpc64le-linux-gnu,
# g++-riscv64-linux-gnu), GoogleTest compiled from its sources; make
# cross-test runs them under qemu-user (Debian's qemu-user).
cross:
	@case " $(CROSS_ARCHS) " in *" $(ARCH) "*) ;; *) \
	  echo "make cross: ARCH must be one of $(CROSS_ARCHS), not '$(ARCH)'" >&2; exit 1;; esac
	cmake -S . -B "build-$(ARCH)" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-$(ARCH).cmake \
	  -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build "build-$(ARCH)" -j $(JOBS)

cross-test: cross
	cd "build-$(ARCH)" && ctest --output-on-failure -j $(JOBS)
	@awk '/: Skipped$$/ { getline why } /^\[  SKIPPED \] / && why != "" { \
	  print "skipped: " $$4 ": " why; why = "" }' "build-$(ARCH)/Testing/Temporary/LastTest.log"

# The "dev" preset: a debug build with warnings as errors, and its tests.
dev:
	cmake --preset dev $(CMAKE_FLAGS)
	cmake --build --preset dev -j $(JOBS)
	ctest --preset dev

bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DNEEDLE_BENCH=ON -DNEEDLE_TESTS=OFF
	cmake --build build-bench -j $(JOBS) --target needle_bench
	./build-bench/bench/needle_bench

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
# The "sanitize" preset.
sanitize:
	cmake --preset sanitize $(CMAKE_FLAGS)
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize

# The tests of the reading split over threads, built with ThreadSanitizer:
# any report of a data race fails them. The threads do the same whatever the
# kernel, so the SSE2 kernel's tests stand for all (all four took 110 s).
tsan:
	cmake -S . -B build-tsan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DNEEDLE_TSAN=ON $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS) --target needle_unit_tests needle_session_tests needle
	TSAN_OPTIONS=halt_on_error=1 ./build-tsan/tests/needle_unit_tests \
	  --gtest_filter='Kernels/SplitReading.*/sse2'
	TSAN_OPTIONS=halt_on_error=1 ./build-tsan/tests/needle_session_tests \
	  --gtest_filter='LargeFiles.ThreadsSayWhatOneThreadSays'

# Each libFuzzer target for FUZZ_SECONDS, from the committed seeds; what it
# learns goes to build-fuzz/corpus/. Longer: make fuzz FUZZ_SECONDS=3600
fuzz:
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DNEEDLE_FUZZ=ON -DNEEDLE_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS)
	mkdir -p build-fuzz/corpus/numberFile build-fuzz/corpus/split build-fuzz/corpus/dialogue \
	  build-fuzz/corpus/doubleReader
	./build-fuzz/fuzz/needle_fuzz_numbers -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	  -artifact_prefix="$(CURDIR)/build-fuzz/" \
	  "$(CURDIR)/build-fuzz/corpus/numberFile" "$(CURDIR)/fuzz/corpus/numberFile"
	./build-fuzz/fuzz/needle_fuzz_split -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	  -artifact_prefix="$(CURDIR)/build-fuzz/" \
	  "$(CURDIR)/build-fuzz/corpus/split" "$(CURDIR)/fuzz/corpus/numberFile"
	./build-fuzz/fuzz/needle_fuzz_dialogue -max_total_time=$(FUZZ_SECONDS) -max_len=1024 \
	  -timeout=10 -artifact_prefix="$(CURDIR)/build-fuzz/" \
	  "$(CURDIR)/build-fuzz/corpus/dialogue" "$(CURDIR)/fuzz/corpus/dialogue"
	./build-fuzz/fuzz/needle_fuzz_reader -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	  -artifact_prefix="$(CURDIR)/build-fuzz/" \
	  "$(CURDIR)/build-fuzz/corpus/doubleReader" "$(CURDIR)/fuzz/corpus/doubleReader"

clean:
	rm -rf "$(BUILD)" build-dev build-bench build-asan build-tsan build-fuzz $(CROSS_ARCHS:%=build-%)
