# Cross-building for 32-bit x86 (i686) with Debian's g++-i686-linux-gnu; the
# tests run under qemu-i386. Used by make cross ARCH=i386.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(needle_cross_triple i686-linux-gnu)
set(needle_cross_emulator qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/crossLinux.cmake)
# Linked statically: under qemu-i386 7.2 a dynamically linked program's fork
# never returns in the child, so no session test could start needle. A
# static build also runs natively where the kernel runs 32-bit programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
