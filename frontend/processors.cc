// How many processors this process may use: its affinity, and its cgroups'
// CPU quotas.
#include "frontend/processors.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <thread>

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

// The whole processors a quota of `quota` microseconds per `period` allows;
// none for no quota (a negative one, or "max").
unsigned processorsOfQuota(long long quota, long long period) {
    if (quota <= 0 || period <= 0) {
        return ~0u;
    }
    return static_cast<unsigned>(std::max<long long>(quota / period, 1));
}

// The least quota of the cgroup folder `folder` and its ancestors up to
// `top`, from `read(folder)`.
template <typename Read>
unsigned leastQuotaUpTo(std::string folder, const std::string& top, Read read) {
    unsigned least = ~0u;
    while (true) {
        least = std::min(least, read(folder));
        if (folder.size() <= top.size()) {
            return least;
        }
        folder.erase(folder.rfind('/'));
    }
}

}  // namespace

unsigned usableProcessors(const std::string& root) {
    unsigned usable = affinityProcessors();
    if (usable == 0) {
        usable = std::max(std::thread::hardware_concurrency(), 1u);
    }
    std::ifstream cgroups(root + "/proc/self/cgroup");
    std::string line;
    while (std::getline(cgroups, line)) {
        // hierarchy-ID:controller-list:path
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            continue;
        }
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1) == "/" ? "" : line.substr(second + 1);
        if (controllers.empty()) {  // v2: "max 100000" or "50000 100000"
            const std::string top = root + "/sys/fs/cgroup";
            usable = std::min(usable, leastQuotaUpTo(top + path, top, [](const std::string& at) {
                                  std::ifstream max(at + "/cpu.max");
                                  std::string quota;
                                  long long period = 0;
                                  if (!(max >> quota >> period) || quota == "max") {
                                      return ~0u;
                                  }
                                  return processorsOfQuota(std::atoll(quota.c_str()), period);
                              }));
        } else if (("," + controllers + ",").find(",cpu,") != std::string::npos) {
            const std::string top = root + "/sys/fs/cgroup/" + controllers;
            usable = std::min(usable, leastQuotaUpTo(top + path, top, [](const std::string& at) {
                                  long long quota = -1, period = 0;
                                  std::ifstream(at + "/cpu.cfs_quota_us") >> quota;
                                  std::ifstream(at + "/cpu.cfs_period_us") >> period;
                                  return processorsOfQuota(quota, period);
                              }));
        }
    }
    return std::max(usable, 1u);
}

unsigned threadsThatFit(unsigned wanted) {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return wanted;
    }
    // The address space in use: the first number of /proc/self/statm, in pages.
    std::uint64_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const std::uint64_t used = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    constexpr std::uint64_t kKeptFree = std::uint64_t{64} << 20;
    constexpr std::uint64_t kPerThread = std::uint64_t{9} << 20;
    const auto cap = static_cast<std::uint64_t>(limit.rlim_cur);
    const std::uint64_t room = cap > used + kKeptFree ? cap - used - kKeptFree : 0;
    return static_cast<unsigned>(std::clamp<std::uint64_t>(room / kPerThread, 1, wanted));
}

void shareOneMemoryArena() {
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
#endif
}
