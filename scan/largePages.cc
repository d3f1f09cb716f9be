// A hint to the operating system about memory, behind a function of its own.
#include "scan/largePages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void preferLargePages([[maybe_unused]] void* begin, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Below a few large pages the hint buys nothing.
    constexpr std::size_t kWorthIt = std::size_t{8} << 20;
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (bytes < kWorthIt || pageSize <= 0) {
        return;
    }
    // madvise takes whole pages: the room's first and last partial pages stay
    // as they are.
    const auto page = static_cast<std::uintptr_t>(pageSize);
    const auto first = reinterpret_cast<std::uintptr_t>(begin);
    const std::uintptr_t start = (first + page - 1) / page * page;
    const std::uintptr_t stop = (first + bytes) / page * page;
    if (stop > start) {
        // A refusal (a kernel without transparent large pages) is harmless.
        static_cast<void>(madvise(reinterpret_cast<void*>(start), stop - start, MADV_HUGEPAGE));
    }
#endif
}
