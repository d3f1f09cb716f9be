// The memory a load may still take: the readings' arithmetic, and the files they
// are read from.
#include "system/memoryLeft.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "madeUpSystem.h"
#include "system/cgroups.h"

namespace {

// Each level's limit, usage and page cache, as text.
std::string shown(const std::vector<CgroupMemory>& levels) {
    std::string text;
    for (const CgroupMemory& level : levels) {
        text += std::to_string(level.limit) + " " + std::to_string(level.usage) + " " +
                std::to_string(level.reclaimable) + "; ";
    }
    return text;
}

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

TEST(MemoryLeft, IsTheLeastOfEveryCgroupAndTheSystemLessTheMargin) {
    MemoryReadings r;
    r.available = 1000 * kMiB;
    r.swapFree = 200 * kMiB;
    EXPECT_EQ(memoryLeft(r), 1200 * kMiB - kMemoryMargin) << "the system: available and swap";
    r.cgroups.push_back({512 * kMiB, 100 * kMiB, 0});
    EXPECT_EQ(memoryLeft(r), 412 * kMiB - kMemoryMargin) << "the cgroup's limit less its use";
    r.cgroups.push_back({300 * kMiB, 250 * kMiB, 0});
    EXPECT_EQ(memoryLeft(r), 50 * kMiB - kMemoryMargin) << "an ancestor with less room";
    r.available = 10 * kMiB;
    r.swapFree.reset();
    EXPECT_EQ(memoryLeft(r), 0u) << "less than the margin is none";
}

TEST(MemoryLeft, CountsPageCacheAsRoom) {
    MemoryReadings r;
    r.cgroups.push_back({512 * kMiB, 500 * kMiB, 400 * kMiB});
    EXPECT_EQ(memoryLeft(r), 412 * kMiB - kMemoryMargin);
    r.cgroups.front().reclaimable = 600 * kMiB;  // cache counted beyond the use
    EXPECT_EQ(memoryLeft(r), 512 * kMiB - kMemoryMargin);
}

TEST(MemoryLeft, IsNoneWhereACgroupIsFullOrOverItsLimit) {
    MemoryReadings r;
    r.cgroups.push_back({100 * kMiB, 120 * kMiB, 0});
    EXPECT_EQ(memoryLeft(r), 0u);
}

TEST(MemoryLeft, IsUnlimitedWithoutReadings) {
    EXPECT_EQ(memoryLeft(MemoryReadings{}), kNoLimit);
}

const char kMeminfo[] =
    "MemTotal:       24576000 kB\nMemFree:   100 kB\nMemAvailable:   2048 kB\n"
    "SwapFree:              0 kB\n";

// Every level with a limit, from the process's cgroup up to the root, with
// both lists of page cache as what can be dropped; an unlimited level left
// out. The memory line of v1 wins over v2's, also among other controllers.
TEST(ReadMemoryReadings, ReadsEveryLimitedLevelOfAV1Hierarchy) {
    const MadeUpSystem system({
        {"proc/meminfo", kMeminfo},
        {"proc/self/cgroup", "9:name=systemd:/\n4:cpu,memory:/outer/inner\n0::/\n"},
        {"sys/fs/cgroup/memory/outer/inner/memory.limit_in_bytes", "268435456\n"},
        {"sys/fs/cgroup/memory/outer/inner/memory.usage_in_bytes", "1000\n"},
        {"sys/fs/cgroup/memory/outer/inner/memory.stat",
         "cache 7\ntotal_active_file 100\ntotal_inactive_file 200\nactive_file 1\n"},
        {"sys/fs/cgroup/memory/outer/memory.limit_in_bytes", "9223372036854771712\n"},
        {"sys/fs/cgroup/memory/outer/memory.usage_in_bytes", "900\n"},
        {"sys/fs/cgroup/memory/memory.limit_in_bytes", "1000000\n"},
        {"sys/fs/cgroup/memory/memory.usage_in_bytes", "500\n"},
        {"sys/fs/cgroup/memory/memory.stat", "total_inactive_file 20"},
    });
    const MemoryReadings readings = readMemoryReadings(system.root());
    EXPECT_EQ(shown(readings.cgroups), "268435456 1000 300; 1000000 500 20; ");
    EXPECT_EQ(readings.available, std::uint64_t{2048 * 1024});
    EXPECT_EQ(readings.swapFree, std::uint64_t{0});
    const std::optional<CgroupPlace> place = cgroupOf("memory", system.root());
    ASSERT_TRUE(place.has_value());
    EXPECT_EQ(place->folder, system.root() + "/sys/fs/cgroup/memory/outer/inner");
}

TEST(ReadMemoryReadings, ReadsEveryLimitedLevelOfAV2Hierarchy) {
    const MadeUpSystem system({
        {"proc/meminfo", "MemTotal: 100 kB\n"},
        {"proc/self/cgroup", "0::/user.slice/session.scope\n"},
        {"sys/fs/cgroup/user.slice/session.scope/memory.max", "max\n"},
        {"sys/fs/cgroup/user.slice/session.scope/memory.current", "7\n"},
        {"sys/fs/cgroup/user.slice/memory.max", "536870912\n"},
        {"sys/fs/cgroup/user.slice/memory.current", "4096\n"},
        {"sys/fs/cgroup/user.slice/memory.stat", "anon 5\nactive_file 4096\ninactive_file 12\n"},
    });
    const MemoryReadings readings = readMemoryReadings(system.root());
    EXPECT_EQ(shown(readings.cgroups), "536870912 4096 4108; ");
    EXPECT_EQ(readings.available, std::nullopt);
    EXPECT_EQ(readings.swapFree, std::nullopt);
}

TEST(ReadMemoryReadings, FindsNoCgroupWhereTheProcessIsInNone) {
    const MadeUpSystem system({{"proc/meminfo", kMeminfo}, {"proc/self/cgroup", "4:cpu:/a\n"}});
    EXPECT_TRUE(readMemoryReadings(system.root()).cgroups.empty());
    EXPECT_FALSE(cgroupOf("memory", system.root()).has_value());
}

}  // namespace
