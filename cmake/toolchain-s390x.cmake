# Cross-building for IBM Z (s390x, big-endian) with Debian's
# g++-s390x-linux-gnu; the tests run under qemu-s390x. Used by make cross
# ARCH=s390x.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(needle_cross_triple s390x-linux-gnu)
set(needle_cross_emulator qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/crossLinux.cmake)
