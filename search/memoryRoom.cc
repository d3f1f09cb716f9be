// How much more memory the process can be given before the system kills it.
#include "search/memoryRoom.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace {

// A limit this high means none: cgroup v1 writes its "unlimited" as the
// largest page-aligned 64-bit number.
constexpr std::uint64_t kUnlimited = std::uint64_t{1} << 60;

std::string readSmallFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<std::uint64_t> parseNumber(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    text.remove_prefix(first);
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{}) {
        return std::nullopt;
    }
    const std::string_view rest(end, static_cast<std::size_t>(text.data() + text.size() - end));
    return rest.find("kB") == 0 || rest.find(" kB") == 0 ? value * 1024 : value;
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

// The level at `dir`, when it has a limit.
std::optional<CgroupMemory> readLevel(const std::string& dir, const CgroupFiles& files) {
    const std::optional<std::uint64_t> limit = parseLimit(readSmallFile(dir + "/" + files.limit));
    const std::optional<std::uint64_t> usage = parseNumber(readSmallFile(dir + "/" + files.usage));
    if (!limit || *limit >= kUnlimited || !usage) {
        return std::nullopt;
    }
    const std::string stat = readSmallFile(dir + "/memory.stat");
    CgroupMemory level;
    level.limit = *limit;
    level.usage = *usage;
    level.reclaimable = numberField(stat, files.activeFile).value_or(0) +
                        numberField(stat, files.inactiveFile).value_or(0);
    return level;
}

}  // namespace

std::optional<std::uint64_t> numberField(std::string_view text, std::string_view key) {
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(at, end - at);
        if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
            (line[key.size()] == ':' || line[key.size()] == ' ')) {
            return parseNumber(line.substr(key.size() + 1));
        }
        at = end + 1;
    }
    return std::nullopt;
}

std::optional<CgroupPlace> memoryCgroupOf(std::string_view procSelfCgroup) {
    std::optional<CgroupPlace> v2;
    std::istringstream lines{std::string(procSelfCgroup)};
    std::string line;
    while (std::getline(lines, line)) {
        // hierarchy-ID:controller-list:path
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            continue;
        }
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        std::istringstream names(controllers);
        std::string name;
        while (std::getline(names, name, ',')) {
            if (name == "memory") {
                return CgroupPlace{path, false};
            }
        }
        if (line.compare(0, 3, "0::") == 0) {
            v2 = CgroupPlace{path, true};
        }
    }
    return v2;
}

std::optional<CgroupPlace> memoryCgroupOfThisProcess() {
    return memoryCgroupOf(readSmallFile("/proc/self/cgroup"));
}

std::string cgroupMount(const CgroupPlace& place) {
    return place.v2 ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory";
}

std::optional<std::uint64_t> parseLimit(std::string_view text) {
    if (text.compare(0, 3, "max") == 0) {
        return kNoLimit;
    }
    return parseNumber(text);
}

std::uint64_t roomLeft(const MemoryReadings& readings) {
    std::uint64_t room = kNoLimit;
    for (const CgroupMemory& level : readings.cgroups) {
        const std::uint64_t kept = level.usage - std::min(level.usage, level.reclaimable);
        room = std::min(room, level.limit - std::min(level.limit, kept));
    }
    if (readings.available) {
        room = std::min(room, *readings.available + readings.swapFree.value_or(0));
    }
    if (room == kNoLimit) {
        return room;
    }
    return room > kMemoryMargin ? room - kMemoryMargin : 0;
}

std::size_t mostNumbersFor(const std::vector<std::int32_t>& list, std::uint64_t room) {
    constexpr std::uint64_t kBytes = sizeof(std::int32_t);
    if (room == kNoLimit) {
        return SIZE_MAX;
    }
    const std::uint64_t size = list.size();
    const std::uint64_t withinRoom = size + room / kBytes;
    if (withinRoom <= list.capacity()) {
        return static_cast<std::size_t>(withinRoom);
    }
    const std::uint64_t copying = (size * kBytes + room) / (2 * kBytes);
    return static_cast<std::size_t>(std::max<std::uint64_t>(list.capacity(), copying));
}

MemoryReadings readMemoryReadings() {
    MemoryReadings readings;
    const std::string meminfo = readSmallFile("/proc/meminfo");
    readings.available = numberField(meminfo, "MemAvailable");
    readings.swapFree = numberField(meminfo, "SwapFree");

    const std::optional<CgroupPlace> place = memoryCgroupOfThisProcess();
    if (!place) {
        return readings;
    }
    const std::string root = cgroupMount(*place);
    const CgroupFiles& files = place->v2 ? kV2Files : kV1Files;
    // The process's cgroup and every ancestor up to the mount's root, whose
    // limits all apply. In a container the path may name a cgroup outside
    // what is mounted: then the root is the container's own.
    std::string path = place->path;
    while (true) {
        if (const auto level = readLevel(root + path, files)) {
            readings.cgroups.push_back(*level);
        }
        if (path.empty() || path == "/") {
            break;
        }
        path = path.substr(0, path.rfind('/'));
    }
    return readings;
}
