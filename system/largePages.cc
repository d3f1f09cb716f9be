// Whether a large region of new memory is to be asked for in 2 MiB pages.
#include "system/largePages.h"

#include <algorithm>
#include <string_view>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "system/cgroups.h"

namespace {

// The bracketed word of a setting's text: "always [madvise] never" gives
// "madvise"; empty without one.
std::string_view chosenSetting(std::string_view text) {
    const std::size_t open = text.find('[');
    const std::size_t close = text.find(']', open);
    if (open == std::string_view::npos || close == std::string_view::npos) {
        return {};
    }
    return text.substr(open + 1, close - open - 1);
}

}  // namespace

LargePageReadings readLargePageReadings(const std::string& root) {
    const std::string settings = root + "/sys/kernel/mm/transparent_hugepage/";
    LargePageReadings readings{std::string(chosenSetting(readSmallFile(settings + "enabled"))),
                               std::string(chosenSetting(readSmallFile(settings + "defrag"))),
                               std::nullopt};
    // "Node 0, zone Normal 648 305 ...": free blocks of order 0, 1, ... 10,
    // of 4 KiB << order; those of order 9 (2 MiB) and up hold large pages.
    const std::string buddyinfo = readSmallFile(root + "/proc/buddyinfo");
    for (std::string_view lines = buddyinfo; !lines.empty();) {
        std::string_view line = nextField(lines, '\n');
        const std::size_t zone = line.find("zone ");
        if (zone == std::string_view::npos) {
            continue;
        }
        line.remove_prefix(zone + 5);
        line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
        nextField(line, ' ');  // the zone's name
        readings.free = readings.free.value_or(0);
        std::optional<std::int64_t> count;
        for (unsigned order = 0; order <= 10 && (count = takeNumber(line)); ++order) {
            if (order >= 9) {
                *readings.free +=
                    static_cast<std::uint64_t>(*count) * (std::uint64_t{4096} << order);
            }
        }
    }
    return readings;
}

bool askForLargePages(const LargePageReadings& readings, std::uint64_t bytes) {
    if (readings.enabled != "madvise") {
        return false;
    }
    if (readings.defrag == "defer" || readings.defrag == "never") {
        return true;
    }
    constexpr std::uint64_t kSpare = std::uint64_t{64} << 20;
    return readings.free && *readings.free / 2 >= bytes + kSpare / 2;
}

void markForLargePages([[maybe_unused]] void* begin, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    static_cast<void>(madvise(begin, bytes, MADV_HUGEPAGE));
#endif
}
