// The binary search: loads sortedNumbers.txt once, then probes it.
#include "search/binarySearch.h"

#include <algorithm>
#include <iostream>
#include <new>

#include "frontend/programState.h"
#include "frontend/readingProgress.h"
#include "search/linearSearch.h"

// Appends a batch to sortedList and returns how many numbers it stored; fewer
// than all only when memory ran out.
static std::size_t appendToSortedList(const NumberBatch& batch) {
    supplyRoomFor(sortedList, batch.count);
    try {
        sortedList.insert(sortedList.end(), batch.values, batch.values + batch.count);
        return batch.count;
    } catch (const std::bad_alloc&) {
    }
    // One at a time, to find the first number that no longer fits.
    std::size_t stored = 0;
    try {
        for (; stored < batch.count; ++stored) {
            sortedList.push_back(batch.values[stored]);
        }
    } catch (const std::bad_alloc&) {
    }
    return stored;
}

// Whether any of the `pairs` neighbouring pairs from `p` on descends: a loop
// without a branch, which compilers turn into vector compares.
static bool anyDescent(const std::int32_t* p, std::size_t pairs) {
    unsigned descends = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        descends |= static_cast<unsigned>(p[i + 1] < p[i]);
    }
    return descends != 0;
}

// Where [from, to) first descends, as std::is_sorted_until finds it: the
// first element smaller than the one before, or `to`. A stretch at a time,
// so that a sorted file is checked whole at the speed of memory.
static std::vector<std::int32_t>::iterator firstDescent(std::vector<std::int32_t>::iterator from,
                                                        std::vector<std::int32_t>::iterator to) {
    constexpr std::ptrdiff_t kPairs = 256;
    while (to - from > kPairs && !anyDescent(&*from, kPairs)) {
        from += kPairs;
    }
    return std::is_sorted_until(from, to);
}

void loadSortedList(const ScanKernel& kernel) {
    if (!sortedFile) {
        return;
    }
    reserveForNumbers(*sortedFile.rdbuf(), sortedList);
    bool orderChecked = false;  // the warning is given once, at the first descent
    ReadingProgress progress("sortedNumbers.txt", *sortedFile.rdbuf());
    const ScanEnd end = scanNumbers(
        progress.stream(),
        [&orderChecked, &progress](const NumberBatch& batch) {
            const std::size_t before = sortedList.size();
            const std::size_t stored = appendToSortedList(batch);
            if (!orderChecked) {
                const auto first = sortedList.begin() + static_cast<std::ptrdiff_t>(before);
                const auto from = before == 0 ? first : first - 1;
                const auto descent = firstDescent(from, sortedList.end());
                if (descent != sortedList.end()) {
                    orderChecked = true;
                    progress.erase();
                    const auto index = static_cast<std::size_t>(descent - first);
                    std::cerr << "The sorted file is not in ascending order at line "
                              << batch.lineOf(index) << "; binary search results may be wrong!\n";
                }
            }
            return stored;
        },
        kernel);
    progress.erase();
    sortedFile.setstate(std::ios::failbit);
    reportEarlyStop("sorted file", end);
}

// Counts the elements equal to `target` next to `from`, walking by `step`
// while they match and staying within [low, high].
static std::int64_t countRun(std::int64_t from, std::int64_t step, std::int64_t low,
                             std::int32_t target) {
    std::int64_t count = 0;
    for (std::int64_t i = from; i >= low && i <= high; i += step) {
        if (sortedList[static_cast<std::size_t>(i)] != target) {
            break;
        }
        ++count;
    }
    return count;
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
            instanceCount =
                1 + countRun(mid - 1, -1, low, target) + countRun(mid + 1, 1, low, target);
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
