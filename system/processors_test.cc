// How many processors needle may use, on made-up systems: the affinity, and
// the CPU quota of the process's cgroup or of one above it, v2 or v1.
#include "system/processors.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "madeUpSystem.h"

namespace {

// What the affinity alone allows: no cgroup files at all.
unsigned affinityAlone() {
    const MadeUpSystem none(
        std::vector<std::pair<std::string, std::string>>{{"proc/self/cgroup", ""}});
    return usableProcessors(none.root());
}

TEST(UsableProcessors, TheLeastQuotaOnTheWayUpRoundedDown) {
    const unsigned affinity = affinityAlone();
    ASSERT_GE(affinity, 1u);
    const std::pair<std::vector<std::pair<std::string, std::string>>, unsigned> cases[] = {
        // v2: the process's own cgroup, then one above it, then none.
        {{{"proc/self/cgroup", "0::/a/b\n"}, {"sys/fs/cgroup/a/b/cpu.max", "100000 100000\n"}}, 1},
        {{{"proc/self/cgroup", "0::/a/b\n"},
          {"sys/fs/cgroup/a/b/cpu.max", "max 100000\n"},
          {"sys/fs/cgroup/a/cpu.max", "150000 100000\n"}},
         1},
        {{{"proc/self/cgroup", "0::/a\n"}, {"sys/fs/cgroup/a/cpu.max", "max 100000\n"}}, affinity},
        // Less than one processor's time still runs on one.
        {{{"proc/self/cgroup", "0::/a\n"}, {"sys/fs/cgroup/a/cpu.max", "20000 100000\n"}}, 1},
        // v1, in the cpu,cpuacct hierarchy; -1 is no quota.
        {{{"proc/self/cgroup", "4:cpu,cpuacct:/job\n3:memory:/job\n"},
          {"sys/fs/cgroup/cpu,cpuacct/job/cpu.cfs_quota_us", "100000\n"},
          {"sys/fs/cgroup/cpu,cpuacct/job/cpu.cfs_period_us", "100000\n"}},
         1},
        {{{"proc/self/cgroup", "4:cpu,cpuacct:/job\n"},
          {"sys/fs/cgroup/cpu,cpuacct/job/cpu.cfs_quota_us", "-1\n"},
          {"sys/fs/cgroup/cpu,cpuacct/job/cpu.cfs_period_us", "100000\n"}},
         affinity},
        // A quota above the affinity leaves the affinity.
        {{{"proc/self/cgroup", "0::/a\n"}, {"sys/fs/cgroup/a/cpu.max", "100000000 100000\n"}},
         affinity},
    };
    for (const auto& [files, expected] : cases) {
        const MadeUpSystem system(files);
        EXPECT_EQ(usableProcessors(system.root()), std::min(expected, affinity)) << files[0].second;
    }
}

}  // namespace

namespace {

// Are the threads cut to an eighth of the memory left, and under an
// address-space limit to the room beside what the process uses already,
// one at the least?
TEST(ThreadsThatFit, AnEighthOfTheMemoryLeftAndTheAddressSpaceLeft) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    EXPECT_EQ(threadsThatFit(64, UINT64_MAX, kMiB), 64u);
    EXPECT_EQ(threadsThatFit(64, 16 * kMiB, kMiB), 2u);
    EXPECT_EQ(threadsThatFit(64, 0, kMiB), 1u);
#if defined(NEEDLE_SANITIZED) || defined(NEEDLE_EMULATED)
    GTEST_SKIP() << "the sanitizers and emulators reserve address space of their own";
#endif
    // 64 MiB stay free, and each thread takes 9 MiB: room for two and a half.
    std::uint64_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const std::uint64_t used = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &before), 0);
    struct rlimit tight = before;
    tight.rlim_cur = used + 64 * kMiB + 9 * kMiB * 5 / 2;
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    const unsigned fit = threadsThatFit(64, UINT64_MAX, kMiB);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &before), 0);
    EXPECT_EQ(fit, 2u);
}

}  // namespace
