# Cross-building for 64-bit Arm (AArch64) with Debian's g++-aarch64-linux-gnu;
# the tests run under qemu-aarch64. Used by make cross ARCH=arm64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(needle_cross_triple aarch64-linux-gnu)
set(needle_cross_emulator qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/crossLinux.cmake)
