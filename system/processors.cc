// How many processors this process may use: its affinity, and its cgroups'
// CPU quotas.
#include "system/processors.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "system/cgroups.h"

namespace {

// The processors in the affinity mask, behind a function of its own; 0 when
// it cannot be read.
unsigned affinityProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) {
        return 0;
    }
    return static_cast<unsigned>(CPU_COUNT(&set));
}

// The whole processors that the CPU quota of the cgroup folder `level`
// allows, `quota` microseconds per `period`: v2's cpu.max ("max 100000" or
// "50000 100000"), v1's cpu.cfs_quota_us over cpu.cfs_period_us. None for
// no quota ("max", or a negative one in v1).
unsigned processorsOfLevel(const std::string& level, bool v2) {
    const std::string quotaText = readSmallFile(level + (v2 ? "/cpu.max" : "/cpu.cfs_quota_us"));
    const std::string periodText = v2 ? "" : readSmallFile(level + "/cpu.cfs_period_us");
    std::string_view text = quotaText, periodRest = periodText;
    const std::optional<std::int64_t> quota = takeNumber(text);
    const std::optional<std::int64_t> period = takeNumber(v2 ? text : periodRest);
    if (!quota || !period || *quota <= 0 || *period <= 0) {
        return ~0u;
    }
    return static_cast<unsigned>(std::max<std::int64_t>(*quota / *period, 1));
}

}  // namespace

unsigned usableProcessors(const std::string& root) {
    unsigned usable = affinityProcessors();
    if (usable == 0) {
        usable = std::max(std::thread::hardware_concurrency(), 1u);
    }
    if (const std::optional<CgroupPlace> place = cgroupOf("cpu", root)) {
        for (const std::string& level : place->levels()) {
            usable = std::min(usable, processorsOfLevel(level, place->v2));
        }
    }
    return std::max(usable, 1u);
}

unsigned threadsThatFit(unsigned wanted, std::uint64_t memory, std::uint64_t perThread) {
    const std::uint64_t inMemory = memory / 8 / std::max<std::uint64_t>(perThread, 1);
    wanted = static_cast<unsigned>(
        std::max<std::uint64_t>(std::min<std::uint64_t>(inMemory, wanted), 1));
    struct rlimit limit {};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return wanted;
    }
    // The address space in use: the first number of /proc/self/statm, in pages.
    const std::string statm = readSmallFile("/proc/self/statm");
    std::string_view text = statm;
    const auto pages =
        static_cast<std::uint64_t>(std::max<std::int64_t>(takeNumber(text).value_or(0), 0));
    const std::uint64_t used = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    constexpr std::uint64_t kKeptFree = std::uint64_t{64} << 20;
    constexpr std::uint64_t kPerThread = std::uint64_t{9} << 20;
    const auto cap = static_cast<std::uint64_t>(limit.rlim_cur);
    const std::uint64_t spare = cap > used + kKeptFree ? cap - used - kKeptFree : 0;
    return static_cast<unsigned>(std::clamp<std::uint64_t>(spare / kPerThread, 1, wanted));
}

void shareOneMemoryArena() {
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
#endif
}
