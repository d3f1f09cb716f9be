// The binary search: loads sortedNumbers.txt once, then probes it.
#include "search/binarySearch.h"

#include "frontend/programState.h"
#include "search/searchDialogue.h"
#include "search/sortedList.h"

std::int64_t countRunAround(const NumberList& list, std::int64_t at, std::int64_t low,
                            std::int64_t top) {
    const std::int32_t target = list[static_cast<std::size_t>(at)];
    std::int64_t first = at;
    while (first > low && list[static_cast<std::size_t>(first - 1)] == target) {
        --first;
    }
    std::int64_t last = at;
    while (last < top && list[static_cast<std::size_t>(last + 1)] == target) {
        ++last;
    }
    return last - first + 1;
}

void binarySearch() {
    instanceCount = 0;
    comparisonCount = 0;
    askForTarget();
    const std::int32_t target = currentNumber;
    loadSortedList();

    std::int64_t low = 0;
    high = static_cast<std::int64_t>(sortedList.size()) - 1;
    while (high >= low) {
        mid = low + (high - low) / 2;
        ++comparisonCount;
        const std::int32_t probe = sortedList[static_cast<std::size_t>(mid)];
        if (probe == target) {
            // In a sorted list every occurrence lies in [low, high] next to
            // mid; the walks are not counted as comparisons.
            instanceCount = countRunAround(sortedList, mid, low, high);
            break;
        }
        if (probe > target) {
            high = mid - 1;
        } else {
            low = mid + 1;
        }
    }

    printSearchReport();
    currentNumber = 10;  // matches none of the menu's remaining tests
}
