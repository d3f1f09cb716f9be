# Cross-building for 32-bit Arm (ARMv7, hard float) with Debian's
# g++-arm-linux-gnueabihf; the tests run under qemu-arm. Used by make cross
# ARCH=armhf.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(needle_cross_triple arm-linux-gnueabihf)
set(needle_cross_emulator qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/crossLinux.cmake)
