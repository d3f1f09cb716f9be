# What every cross build for Linux shares, included by each toolchain file
# after it has set CMAKE_SYSTEM_PROCESSOR, needle_cross_triple (the target as
# Debian's cross compiler names it) and needle_cross_emulator (the qemu-user
# program that runs the target's tests, with its libraries from
# /usr/TRIPLE).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${needle_cross_triple}-gcc)
set(CMAKE_CXX_COMPILER ${needle_cross_triple}-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR ${needle_cross_emulator} -L /usr/${needle_cross_triple})
# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${needle_cross_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
