// How much more memory the process can be given before the system kills it.
#include "system/memoryLeft.h"

#include <algorithm>
#include <string_view>

#include "system/cgroups.h"

namespace {

// A limit this high means none: cgroup v1 writes its "unlimited" as the
// largest page-aligned 64-bit number.
constexpr std::uint64_t kUnlimited = std::uint64_t{1} << 60;

// A number after any blanks, times 1024 where " kB" follows it; "max" for
// a limit is kNoLimit.
std::optional<std::uint64_t> parseNumber(std::string_view text) {
    const std::optional<std::int64_t> value = takeNumber(text);
    if (!value || *value < 0) {
        return text.substr(0, 3) == "max" ? std::optional(kNoLimit) : std::nullopt;
    }
    const auto bytes = static_cast<std::uint64_t>(*value);
    return text.substr(0, 3) == " kB" ? bytes * 1024 : bytes;
}

// The number after `key` at the start of a line of `text` ("MemAvailable:
// 1024 kB", "inactive_file 4096").
std::optional<std::uint64_t> numberField(std::string_view text, std::string_view key) {
    while (!text.empty()) {
        const std::string_view line = nextField(text, '\n');
        if (line.size() > key.size() && line.substr(0, key.size()) == key &&
            (line[key.size()] == ':' || line[key.size()] == ' ')) {
            return parseNumber(line.substr(key.size() + 1));
        }
    }
    return std::nullopt;
}

// The cgroup files of one level: v2's or v1's names.
struct CgroupFiles {
    const char* limit;
    const char* usage;
    const char* activeFile;
    const char* inactiveFile;
};
constexpr CgroupFiles kV2Files{"memory.max", "memory.current", "active_file", "inactive_file"};
constexpr CgroupFiles kV1Files{"memory.limit_in_bytes", "memory.usage_in_bytes",
                               "total_active_file", "total_inactive_file"};

// The level at `dir`, when it has a limit. Both lists of page cache count:
// the system drops inactive pages first, and active ones after them.
std::optional<CgroupMemory> readLevel(const std::string& dir, const CgroupFiles& files) {
    const std::optional<std::uint64_t> limit = parseNumber(readSmallFile(dir + "/" + files.limit));
    const std::optional<std::uint64_t> usage = parseNumber(readSmallFile(dir + "/" + files.usage));
    if (!limit || *limit >= kUnlimited || !usage) {
        return std::nullopt;
    }
    const std::string stat = readSmallFile(dir + "/memory.stat");
    return CgroupMemory{*limit, *usage,
                        numberField(stat, files.activeFile).value_or(0) +
                            numberField(stat, files.inactiveFile).value_or(0)};
}

}  // namespace

std::uint64_t memoryLeft(const MemoryReadings& readings) {
    std::uint64_t left = kNoLimit;
    for (const CgroupMemory& level : readings.cgroups) {
        const std::uint64_t kept = level.usage - std::min(level.usage, level.reclaimable);
        left = std::min(left, level.limit - std::min(level.limit, kept));
    }
    if (readings.available) {
        left = std::min(left, *readings.available + readings.swapFree.value_or(0));
    }
    if (left == kNoLimit) {
        return left;
    }
    return left > kMemoryMargin ? left - kMemoryMargin : 0;
}

MemoryReadings readMemoryReadings(const std::string& root) {
    MemoryReadings readings;
    const std::string meminfo = readSmallFile(root + "/proc/meminfo");
    readings.available = numberField(meminfo, "MemAvailable");
    readings.swapFree = numberField(meminfo, "SwapFree");

    const std::optional<CgroupPlace> place = cgroupOf("memory", root);
    if (!place) {
        return readings;
    }
    for (const std::string& level : place->levels()) {
        if (const auto memory = readLevel(level, place->v2 ? kV2Files : kV1Files)) {
            readings.cgroups.push_back(*memory);
        }
    }
    return readings;
}
