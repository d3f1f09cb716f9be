// How much more memory the process can be given before the system kills it.
#include "search/memoryRoom.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <string_view>

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

// Takes the text up to the next `separator`, or all of it, off the front of
// `text`, and returns it.
std::string_view nextPiece(std::string_view& text, char separator) {
    const std::size_t end = std::min(text.find(separator), text.size());
    const std::string_view piece = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    return piece;
}

// A number after any blanks, times 1024 where " kB" follows it; "max" for
// a limit is kNoLimit.
std::optional<std::uint64_t> parseNumber(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
    if (text.substr(0, 3) == "max") {
        return kNoLimit;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{}) {
        return std::nullopt;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    return text.substr(0, 2) == "kB" ? value * 1024 : value;
}

// The number after `key` at the start of a line of `text` ("MemAvailable:
// 1024 kB", "inactive_file 4096").
std::optional<std::uint64_t> numberField(std::string_view text, std::string_view key) {
    while (!text.empty()) {
        const std::string_view line = nextPiece(text, '\n');
        if (line.size() > key.size() && line.substr(0, key.size()) == key &&
            (line[key.size()] == ':' || line[key.size()] == ' ')) {
            return parseNumber(line.substr(key.size() + 1));
        }
    }
    return std::nullopt;
}

// Where the process's memory cgroup is, from the text of /proc/self/cgroup:
// the v1 "memory" hierarchy's line, or else the v2 "0::" line.
struct CgroupPlace {
    std::string folder;  // below the root: the mount and the path
    bool v2 = false;
};
std::optional<CgroupPlace> memoryCgroupOf(std::string_view procSelfCgroup) {
    std::optional<CgroupPlace> v2;
    while (!procSelfCgroup.empty()) {
        std::string_view line = nextPiece(procSelfCgroup, '\n');
        // hierarchy-ID:controller-list:path
        const std::string_view id = nextPiece(line, ':');
        std::string_view controllers = nextPiece(line, ':');
        const std::string path(line == "/" ? std::string_view() : line);
        if (id == "0" && controllers.empty()) {
            v2 = CgroupPlace{"/sys/fs/cgroup" + path, true};
        }
        while (!controllers.empty()) {
            if (nextPiece(controllers, ',') == "memory") {
                return CgroupPlace{"/sys/fs/cgroup/memory" + path, false};
            }
        }
    }
    return v2;
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

std::size_t mostNumbersFor(const NumberList& list, std::uint64_t room) {
    constexpr std::uint64_t kBytes = sizeof(std::int32_t);
    if (room == kNoLimit) {
        return SIZE_MAX;
    }
    const std::uint64_t size = list.size();
    const std::uint64_t withinRoom = std::min<std::uint64_t>(size + room / kBytes, list.max_size());
    // Moving when full, the list holds its capacity twice over: what it
    // holds now is charged already, the rest of the old copy and all of the
    // new one take room.
    const std::uint64_t capacity = list.capacity();
    const bool canMove = (2 * capacity - size) * kBytes <= room;
    return static_cast<std::size_t>(withinRoom <= capacity || canMove ? withinRoom
                                                                      : std::max(capacity, size));
}

MemoryReadings readMemoryReadings(const std::string& root) {
    MemoryReadings readings;
    const std::string meminfo = readSmallFile(root + "/proc/meminfo");
    readings.available = numberField(meminfo, "MemAvailable");
    readings.swapFree = numberField(meminfo, "SwapFree");

    const std::optional<CgroupPlace> place =
        memoryCgroupOf(readSmallFile(root + "/proc/self/cgroup"));
    if (!place) {
        return readings;
    }
    const CgroupFiles& files = place->v2 ? kV2Files : kV1Files;
    const std::string mount = place->v2 ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory";
    // The process's cgroup and every ancestor up to the mount's root, whose
    // limits all apply. In a container the path may name a cgroup outside
    // what is mounted: then the root is the container's own.
    for (std::string folder = place->folder;; folder.erase(folder.rfind('/'))) {
        if (const auto level = readLevel(root + folder, files)) {
            readings.cgroups.push_back(*level);
        }
        if (folder.size() <= mount.size()) {
            break;
        }
    }
    return readings;
}

std::optional<std::string> memoryCgroupFolder(const std::string& root) {
    const auto place = memoryCgroupOf(readSmallFile(root + "/proc/self/cgroup"));
    if (!place) {
        return std::nullopt;
    }
    return root + place->folder;
}
