// A request to the operating system about memory, behind a function of its own.
#include "system/pageSupply.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void supplyPagesNow([[maybe_unused]] void* begin, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__)
// Linux 5.14; older headers lack the name, older kernels refuse the value,
// which is harmless.
#ifndef MADV_POPULATE_WRITE
    constexpr int MADV_POPULATE_WRITE = 23;
#endif
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) {
        return;
    }
    // madvise takes whole pages: the first and last partial pages stay as
    // they are.
    const auto page = static_cast<std::uintptr_t>(pageSize);
    const auto first = reinterpret_cast<std::uintptr_t>(begin);
    const std::uintptr_t start = (first + page - 1) / page * page;
    const std::uintptr_t stop = (first + bytes) / page * page;
    if (stop > start) {
        static_cast<void>(
            madvise(reinterpret_cast<void*>(start), stop - start, MADV_POPULATE_WRITE));
    }
#endif
}
