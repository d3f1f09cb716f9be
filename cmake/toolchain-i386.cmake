# Cross-building for i686 Linux with Debian's cross compiler
# (g++-i686-linux-gnu); the tests run under qemu-user (qemu-i386), with the
# target's libraries from /usr/i686-linux-gnu. Used by make cross ARCH=i386.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -L /usr/i686-linux-gnu)
# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Linked statically: under qemu-i386 7.2 a dynamically linked program's fork
# never returns in the child, so no session test could start needle. A
# static build also runs natively where the kernel runs 32-bit programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
