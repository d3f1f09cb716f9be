// Whether a large region of new memory is to be asked for in 2 MiB pages:
// what the system's transparent huge pages allow, and whether enough free
// 2 MiB blocks stand ready that asking cannot stall.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The size of a large page, to which a large list's capacity is aligned.
constexpr std::size_t kLargePage = std::size_t{2} << 20;

// What /sys/kernel/mm/transparent_hugepage and /proc/buddyinfo say.
struct LargePageReadings {
    std::string enabled;                // the bracketed word: always, madvise or never
    std::string defrag;                 // always, defer, defer+madvise, madvise or never
    std::optional<std::uint64_t> free;  // bytes in free blocks of 2 MiB or more, all zones
};

// The readings under `root` (a test hands it a folder of its own).
LargePageReadings readLargePageReadings(const std::string& root = "");

// Whether to mark a region of `bytes` for large pages (MADV_HUGEPAGE):
// only where the system gives them to marked memory alone (enabled is
// madvise), and then either where a fault never compacts to make one
// (defrag is defer or never), or where free 2 MiB blocks cover the region
// twice over and 64 MiB more, so that no fault has to. Where the system
// gives them to all memory, or never, or cannot be read, the region is
// left as it is.
bool askForLargePages(const LargePageReadings& readings, std::uint64_t bytes);

// Marks [begin, begin + bytes) for large pages, behind a function of its
// own; does nothing where the system has no such thing.
void markForLargePages(void* begin, std::size_t bytes);
