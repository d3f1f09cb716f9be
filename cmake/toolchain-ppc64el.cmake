# Cross-building for 64-bit POWER, little-endian with Debian's
# g++-powerpc64le-linux-gnu; the tests run under qemu-ppc64le. Used by make
# cross ARCH=ppc64el.
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(needle_cross_triple powerpc64le-linux-gnu)
set(needle_cross_emulator qemu-ppc64le)
include(${CMAKE_CURRENT_LIST_DIR}/crossLinux.cmake)
