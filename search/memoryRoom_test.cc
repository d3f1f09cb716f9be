// The memory a load may still take: the readings' arithmetic and their parsers.
#include "search/memoryRoom.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

TEST(RoomLeft, IsTheLeastOfEveryCgroupAndTheSystemLessTheMargin) {
    MemoryReadings r;
    r.available = 1000 * kMiB;
    r.swapFree = 200 * kMiB;
    EXPECT_EQ(roomLeft(r), 1200 * kMiB - kMemoryMargin) << "the system: available and swap";
    r.cgroups.push_back({512 * kMiB, 100 * kMiB, 0});
    EXPECT_EQ(roomLeft(r), 412 * kMiB - kMemoryMargin) << "the cgroup's limit less its use";
    r.cgroups.push_back({300 * kMiB, 250 * kMiB, 0});
    EXPECT_EQ(roomLeft(r), 50 * kMiB - kMemoryMargin) << "an ancestor with less room";
    r.available = 10 * kMiB;
    r.swapFree.reset();
    EXPECT_EQ(roomLeft(r), 0u) << "less than the margin is none";
}

TEST(RoomLeft, CountsPageCacheAsRoom) {
    MemoryReadings r;
    r.cgroups.push_back({512 * kMiB, 500 * kMiB, 400 * kMiB});
    EXPECT_EQ(roomLeft(r), 412 * kMiB - kMemoryMargin);
    r.cgroups.front().reclaimable = 600 * kMiB;  // cache counted beyond the use
    EXPECT_EQ(roomLeft(r), 512 * kMiB - kMemoryMargin);
}

TEST(RoomLeft, IsNoneWhereACgroupIsFullOrOverItsLimit) {
    MemoryReadings r;
    r.cgroups.push_back({100 * kMiB, 120 * kMiB, 0});
    EXPECT_EQ(roomLeft(r), 0u);
}

TEST(RoomLeft, IsUnlimitedWithoutReadings) {
    EXPECT_EQ(roomLeft(MemoryReadings{}), kNoLimit);
}

TEST(MostNumbersFor, FillsTheReservedRoomFourBytesANumber) {
    std::vector<std::int32_t> list(10);
    list.reserve(1'000'000);
    EXPECT_EQ(mostNumbersFor(list, 4000), 1010u);
    EXPECT_EQ(mostNumbersFor(list, 4003), 1010u);
    EXPECT_EQ(mostNumbersFor(list, 0), 10u);
    EXPECT_EQ(mostNumbersFor(list, kNoLimit), SIZE_MAX);
}

TEST(MostNumbersFor, LeavesRoomForTheCopyWherePastTheReservation) {
    // No room reserved: growing copies the list into one twice as large.
    std::vector<std::int32_t> list(1000);
    list.shrink_to_fit();
    EXPECT_EQ(mostNumbersFor(list, 8000), (1000u * 4 + 8000) / 8);
    // Room reserved, but less than the memory left: the reservation at least.
    list.reserve(2000);
    const std::size_t capacity = list.capacity();
    EXPECT_EQ(mostNumbersFor(list, 400'000), (1000u * 4 + 400'000) / 8);
    EXPECT_EQ(mostNumbersFor(list, 4 * (capacity - 1000) + 4), capacity);
}

TEST(NumberField, ReadsMeminfoAndCgroupStatLines) {
    const char* const meminfo =
        "MemTotal:       24576000 kB\nMemFree:   100 kB\nMemAvailable:   2048 kB\n"
        "SwapFree:              0 kB\n";
    EXPECT_EQ(numberField(meminfo, "MemAvailable"), std::uint64_t{2048 * 1024});
    EXPECT_EQ(numberField(meminfo, "SwapFree"), std::uint64_t{0});
    EXPECT_EQ(numberField(meminfo, "Mem"), std::nullopt) << "a whole key, not a prefix";
    EXPECT_EQ(numberField(meminfo, "Buffers"), std::nullopt);
    const char* const stat = "cache 7\ntotal_active_file 4096\ntotal_inactive_file 12\nfile 9";
    EXPECT_EQ(numberField(stat, "total_active_file"), std::uint64_t{4096});
    EXPECT_EQ(numberField(stat, "file"), std::uint64_t{9}) << "on the last line, no line break";
}

TEST(ParseLimit, ReadsANumberOrMax) {
    EXPECT_EQ(parseLimit("536870912\n"), std::uint64_t{536870912});
    EXPECT_EQ(parseLimit("max\n"), kNoLimit);
    EXPECT_EQ(parseLimit(""), std::nullopt);
    EXPECT_EQ(parseLimit("junk"), std::nullopt);
}

TEST(MemoryCgroupOf, PrefersTheV1MemoryLineAndElseTakesV2) {
    const auto v1 =
        memoryCgroupOf("9:name=systemd:/\n4:memory:/process_api/abc\n3:cpu,cpuacct:/x\n0::/\n");
    ASSERT_TRUE(v1);
    EXPECT_EQ(v1->path, "/process_api/abc");
    EXPECT_FALSE(v1->v2);
    const auto joined = memoryCgroupOf("5:cpu,memory:/joined\n");
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->path, "/joined");
    const auto v2 = memoryCgroupOf("0::/user.slice/session-1.scope\n");
    ASSERT_TRUE(v2);
    EXPECT_EQ(v2->path, "/user.slice/session-1.scope");
    EXPECT_TRUE(v2->v2);
    EXPECT_FALSE(memoryCgroupOf("4:cpu:/a\n"));
    EXPECT_FALSE(memoryCgroupOf(""));
}

}  // namespace
