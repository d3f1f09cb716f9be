// Whether the sorted list asks for 2 MiB pages, on made-up systems: what
// transparent huge pages allow, and how many free 2 MiB blocks stand ready.
#include "system/largePages.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "madeUpSystem.h"

namespace {

// Two zones whose free blocks of order 9 (2 MiB) and 10 (4 MiB) hold `mib`
// MiB and 2 MiB more, beside many smaller blocks, which hold no large page.
std::string buddyinfo(unsigned mib) {
    return "Node 0, zone DMA 0 0 0 0 0 0 0 0 1 1 0\nNode 0, zone Normal 9 9 9 9 9 9 9 9 9 " +
           std::to_string(mib / 2 % 2) + " " + std::to_string(mib / 4) + "\n";
}

// Marked memory alone gets large pages (madvise): asked for where no fault
// compacts to make one, or where free blocks cover the 80 MiB list twice
// and 64 MiB more (224 MiB). Where all memory gets them, or none, or the
// files are missing, the list is left as it is.
TEST(AskForLargePages, OnlyWhereMarkedMemoryGetsThemAndNoFaultCompacts) {
    const std::string madvise = "always [madvise] never";
    const struct {
        std::string enabled, defrag, buddy;  // an empty one: no such file
        bool asks;
    } cases[] = {
        {madvise, "always defer defer+madvise [madvise] never", buddyinfo(222), true},
        {madvise, "always defer defer+madvise [madvise] never", buddyinfo(220), false},
        {madvise, "[always] defer defer+madvise madvise never", buddyinfo(100), false},
        {madvise, "always defer [defer+madvise] madvise never", buddyinfo(0), false},
        {madvise, "always defer defer+madvise madvise [never]", buddyinfo(0), true},
        {madvise, "always [defer] defer+madvise madvise never", "", true},
        {madvise, "always defer defer+madvise [madvise] never", "", false},
        {"[always] madvise never", "always defer defer+madvise [madvise] never", buddyinfo(4096),
         false},
        {"always madvise [never]", "[never]", buddyinfo(4096), false},
        {"", "", buddyinfo(4096), false},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<std::string, std::string>> files = {{"proc/x", ""}};
        const std::string mm = "sys/kernel/mm/transparent_hugepage/";
        for (const auto& [path, text] :
             {std::pair{mm + "enabled", c.enabled}, std::pair{mm + "defrag", c.defrag},
              std::pair{std::string("proc/buddyinfo"), c.buddy}}) {
            if (!text.empty()) {
                files.emplace_back(path, text);
            }
        }
        const MadeUpSystem system(files);
        EXPECT_EQ(askForLargePages(readLargePageReadings(system.root()), 80u << 20), c.asks)
            << c.enabled << " / " << c.defrag << " / " << c.buddy;
    }
}

}  // namespace
