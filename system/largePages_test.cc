// Whether the sorted list asks for 2 MiB pages, on made-up systems: what
// transparent huge pages allow, and how many free 2 MiB blocks stand ready.
#include "system/largePages.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "madeUpSystem.h"

namespace {

// Buddyinfo whose free blocks of order 9 and 10 hold `mib` MiB in all,
// beside many small blocks, which hold no large page.
std::string buddyinfo(unsigned mib) {
    return "Node 0, zone      DMA      0      0      0      0      0      0      0      0      1"
           "      1      0\nNode 0, zone   Normal 9000 9000 9000 9000 9000 9000 9000 9000 9000 " +
           std::to_string(mib / 2 % 2) + " " + std::to_string(mib / 4) + "\n";
}

TEST(AskForLargePages, OnlyWhereMarkedMemoryGetsThemAndNoFaultCompacts) {
    constexpr std::uint64_t kList = std::uint64_t{80} << 20;  // 80 MiB
    struct Case {
        const char* enabled;
        const char* defrag;
        std::string buddy;  // empty: no /proc/buddyinfo
        bool asks;
    };
    const Case cases[] = {
        // Marked memory alone gets them: asked for where free blocks cover
        // the list twice and 64 MiB more, or where no fault compacts.
        {"always [madvise] never", "always defer defer+madvise [madvise] never", buddyinfo(240),
         true},
        {"always [madvise] never", "always defer defer+madvise [madvise] never", buddyinfo(220),
         false},
        {"always [madvise] never", "[always] defer defer+madvise madvise never", buddyinfo(100),
         false},
        {"always [madvise] never", "always defer [defer+madvise] madvise never", buddyinfo(0),
         false},
        {"always [madvise] never", "always defer defer+madvise madvise [never]", buddyinfo(0),
         true},
        {"always [madvise] never", "always [defer] defer+madvise madvise never", "", true},
        {"always [madvise] never", "always defer defer+madvise [madvise] never", "", false},
        // All memory gets them already, or none does: left as it is.
        {"[always] madvise never", "always defer defer+madvise [madvise] never", buddyinfo(4096),
         false},
        {"always madvise [never]", "always defer defer+madvise [madvise] never", buddyinfo(4096),
         false},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, std::string>> files = {
            {"sys/kernel/mm/transparent_hugepage/enabled", c.enabled},
            {"sys/kernel/mm/transparent_hugepage/defrag", c.defrag}};
        if (!c.buddy.empty()) {
            files.emplace_back("proc/buddyinfo", c.buddy);
        }
        const MadeUpSystem system(files);
        EXPECT_EQ(askForLargePages(readLargePageReadings(system.root()), kList), c.asks)
            << c.enabled << " / " << c.defrag << " / " << c.buddy;
    }
    // No such files at all, as on a kernel without them.
    const MadeUpSystem none(std::vector<std::pair<std::string, std::string>>{{"proc/x", ""}});
    EXPECT_FALSE(askForLargePages(readLargePageReadings(none.root()), kList));
}

TEST(ReadLargePageReadings, AddsTheBlocksOfOrderNineAndUpOfEveryZone) {
    const MadeUpSystem system(std::vector<std::pair<std::string, std::string>>{
        {"proc/buddyinfo",
         "Node 0, zone DMA32 1 2 3 4 5 6 7 8 9 3 5\n"
         "Node 1, zone Normal 0 0 0 0 0 0 0 0 0 1 0\n"}});
    EXPECT_EQ(readLargePageReadings(system.root()).free, std::uint64_t{(3 + 5 * 2 + 1) * 2} << 20);
    EXPECT_EQ(chosenSetting("always defer [defer+madvise] madvise never"), "defer+madvise");
    EXPECT_EQ(chosenSetting("no choice"), "");
}

}  // namespace
