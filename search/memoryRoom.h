// How much more memory the process can be given before the system kills it:
// what the load of the sorted list checks once, before the list grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One memory cgroup that the process is in, its own or an ancestor, in bytes.
struct CgroupMemory {
    std::uint64_t limit = 0;
    std::uint64_t usage = 0;        // what it is charged for, page cache included
    std::uint64_t reclaimable = 0;  // the page cache on its lists, which the system can drop
};

// What the system and the cgroups say of memory, in bytes.
struct MemoryReadings {
    std::vector<CgroupMemory> cgroups;       // only those with a limit
    std::optional<std::uint64_t> available;  // MemAvailable
    std::optional<std::uint64_t> swapFree;
};

// Kept free whatever the readings say: the process's own growth besides the
// list (its read buffers, the pages supplied ahead of the list's end), what
// others use meanwhile, and page cache that cannot be dropped after all.
constexpr std::uint64_t kMemoryMargin = std::uint64_t{32} << 20;
// What roomLeft says when nothing limits the process.
constexpr std::uint64_t kNoLimit = UINT64_MAX;

// The bytes more the process can be given: the least of every cgroup's limit
// less what it uses that cannot be dropped, and of what the system can give
// (MemAvailable and free swap), less kMemoryMargin; 0 when that is nothing.
std::uint64_t roomLeft(const MemoryReadings& readings);

// The most numbers `list` may hold when `room` bytes more can be given: up to
// its reserved capacity, one number per four bytes; past it, the list grows
// by copying into a list twice as large while the old one is still there.
std::size_t mostNumbersFor(const std::vector<std::int32_t>& list, std::uint64_t room);

// The readings of this process, from /proc/meminfo and the memory cgroup
// files under /sys/fs/cgroup, v2 or v1. Read once per load: a few small files.
MemoryReadings readMemoryReadings();

// The parts, for tests.

// The number after `key` at the start of a line of `text` ("MemAvailable:
// 1024 kB", "total_active_file 4096"), in bytes: times 1024 where "kB"
// follows.
std::optional<std::uint64_t> numberField(std::string_view text, std::string_view key);

// Where the process's memory cgroup is, from the text of /proc/self/cgroup:
// its path within the hierarchy, and whether that is cgroup v2 (a "0::"
// line, used only where no v1 "memory" line is).
struct CgroupPlace {
    std::string path;
    bool v2 = false;
};
std::optional<CgroupPlace> memoryCgroupOf(std::string_view procSelfCgroup);
// The same for this process, from its /proc/self/cgroup.
std::optional<CgroupPlace> memoryCgroupOfThisProcess();
// Where the memory cgroups of that kind are mounted: /sys/fs/cgroup for v2,
// /sys/fs/cgroup/memory for v1. The place's folder is this and its path.
std::string cgroupMount(const CgroupPlace& place);

// A cgroup's limit as its file holds it: a number, or "max" (no limit).
std::optional<std::uint64_t> parseLimit(std::string_view text);
