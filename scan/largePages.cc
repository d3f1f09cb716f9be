// Hints to the operating system about memory, each behind a function of its own.
#include "scan/largePages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#if defined(__linux__)
// Gives `advice` for the whole pages of [begin, begin + bytes): the first and
// last partial pages stay as they are. A refusal (a kernel without the
// advice) is harmless.
static void advise(void* begin, std::size_t bytes, int advice) {
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) {
        return;
    }
    const auto page = static_cast<std::uintptr_t>(pageSize);
    const auto first = reinterpret_cast<std::uintptr_t>(begin);
    const std::uintptr_t start = (first + page - 1) / page * page;
    const std::uintptr_t stop = (first + bytes) / page * page;
    if (stop > start) {
        static_cast<void>(madvise(reinterpret_cast<void*>(start), stop - start, advice));
    }
}
#endif

void preferLargePages([[maybe_unused]] void* begin, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Below a few large pages the hint buys nothing.
    constexpr std::size_t kWorthIt = std::size_t{8} << 20;
    if (bytes >= kWorthIt) {
        advise(begin, bytes, MADV_HUGEPAGE);
    }
#endif
}

void supplyPagesNow([[maybe_unused]] void* begin, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__)
// Linux 5.14; older headers lack the name, older kernels refuse the value.
#ifndef MADV_POPULATE_WRITE
    constexpr int MADV_POPULATE_WRITE = 23;
#endif
    advise(begin, bytes, MADV_POPULATE_WRITE);
#endif
}
