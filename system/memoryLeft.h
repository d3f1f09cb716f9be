// How much more memory the process can be given before the system kills it:
// what the load of the sorted list reads once, before the list grows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One memory cgroup that the process is in, its own or an ancestor, in bytes.
struct CgroupMemory {
    std::uint64_t limit = 0;
    std::uint64_t usage = 0;        // what it is charged for, page cache included
    std::uint64_t reclaimable = 0;  // the page cache on its lists, which the system can drop
};

// What the system and the cgroups say of memory, in bytes.
struct MemoryReadings {
    std::vector<CgroupMemory> cgroups;       // only those with a limit, the process's own first
    std::optional<std::uint64_t> available;  // MemAvailable
    std::optional<std::uint64_t> swapFree;
};

// Kept free whatever the readings say: the process's own growth besides the
// list (its read buffers, the pages supplied ahead of the list's end), what
// others use meanwhile, and page cache that cannot be dropped after all.
constexpr std::uint64_t kMemoryMargin = std::uint64_t{32} << 20;
// What memoryLeft says when nothing limits the process.
constexpr std::uint64_t kNoLimit = UINT64_MAX;

// The bytes more the process can be given: the least of every cgroup's limit
// less what it uses that cannot be dropped, and of what the system can give
// (MemAvailable and free swap), less kMemoryMargin; 0 when that is nothing.
std::uint64_t memoryLeft(const MemoryReadings& readings);

// The readings of this process, from /proc/meminfo and the memory cgroup
// files of the cgroup /proc/self/cgroup names, v2 or v1, and its ancestors
// under /sys/fs/cgroup. Read once per load: a few small files. `root` is
// prefixed to every path: a test hands it a folder of its own.
MemoryReadings readMemoryReadings(const std::string& root = "");
