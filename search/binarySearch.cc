// The binary search: loads sortedNumbers.txt once, then probes it.
#include "search/binarySearch.h"

#include <algorithm>
#include <iostream>
#include <new>

#include "frontend/programState.h"
#include "search/largePages.h"
#include "search/linearSearch.h"
#include "search/numberFile.h"

// Makes room for every number the rest of the file can hold (a number takes
// at least two bytes with its separator), so that the list never grows by
// reallocation, which would hold two copies of it at once. The room is only
// address space until numbers are written to it, and large pages make that
// writing cheaper. Without a size, or without that much address space, the
// list grows as it goes.
static void reserveForSortedFile() {
    std::streambuf& in = *sortedFile.rdbuf();
    const std::streamoff here = in.pubseekoff(0, std::ios::cur, std::ios::in);
    const std::streamoff end = in.pubseekoff(0, std::ios::end, std::ios::in);
    if (here < 0 || end < 0 || in.pubseekpos(here, std::ios::in) != here) {
        return;
    }
    const auto most = static_cast<std::size_t>((end - here) / 2 + 1);
    try {
        sortedList.reserve(sortedList.size() + most);
        preferLargePages(sortedList.data() + sortedList.size(),
                         (sortedList.capacity() - sortedList.size()) * sizeof sortedList[0]);
    } catch (const std::exception&) {
        // Not enough address space for the bound: grow as needed instead.
    }
}

// Appends a batch to sortedList and returns how many numbers it stored; fewer
// than all only when memory ran out.
static std::size_t appendToSortedList(const NumberBatch& batch) {
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

void loadSortedList() {
    if (!sortedFile) {
        return;
    }
    reserveForSortedFile();
    bool orderChecked = false;  // the warning is given once, at the first descent
    const ScanEnd end = scanNumbers(*sortedFile.rdbuf(), [&orderChecked](const NumberBatch& batch) {
        const std::size_t before = sortedList.size();
        const std::size_t stored = appendToSortedList(batch);
        if (!orderChecked) {
            const auto first = sortedList.begin() + static_cast<std::ptrdiff_t>(before);
            const auto from = before == 0 ? first : first - 1;
            const auto descent = std::is_sorted_until(from, sortedList.end());
            if (descent != sortedList.end()) {
                orderChecked = true;
                const auto index = static_cast<std::size_t>(descent - first);
                std::cerr << "The sorted file is not in ascending order at line "
                          << lineOfNumber(batch, index)
                          << "; binary search results may be wrong!\n";
            }
        }
        return stored;
    });
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
