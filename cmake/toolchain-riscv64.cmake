# Cross-building for 64-bit RISC-V with Debian's g++-riscv64-linux-gnu; the
# tests run under qemu-riscv64. Used by make cross ARCH=riscv64.
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(needle_cross_triple riscv64-linux-gnu)
set(needle_cross_emulator qemu-riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/crossLinux.cmake)
