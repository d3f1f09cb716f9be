// Loading sortedNumbers.txt into sortedList, and holding it there.
#include "search/sortedList.h"

#include <algorithm>
#include <exception>
#include <ios>
#include <iostream>
#include <new>

#include "frontend/programState.h"
#include "frontend/readingProgress.h"
#include "search/searchDialogue.h"
#include "search/splitLoad.h"
#include "search/threadedFile.h"
#include "system/largePages.h"
#include "system/memoryLeft.h"
#include "system/pageSupply.h"

void reserveForNumbers(std::streambuf& in, NumberList& list) {
    const std::optional<std::uint64_t> left = bytesLeft(in);
    if (!left) {
        return;
    }
    // Bounded by what a vector can hold: on a 32-bit system a file of 8 GiB
    // would otherwise wrap around to a small reservation.
    const auto most = static_cast<std::size_t>(
        std::min<std::uint64_t>(*left / 2 + 1, list.max_size() - list.size()));
    try {
        list.reserve(list.size() + most);
    } catch (const std::exception&) {
        // Not enough address space for the bound: grow as needed instead.
    }
}

void supplyPagesAhead(NumberList& list, std::size_t count) {
    // Stretches of 2 MiB: the list's pages are supplied through the stretch
    // after the one its end is in, so at most 4 MiB ahead of it. Close
    // enough that the pages the system has just cleared are still in the
    // cache when the numbers come (4 MiB stretches made a load 2% slower).
    constexpr std::size_t kStretch = std::size_t{2} << 20;
    constexpr std::size_t kWorthIt = std::size_t{8} << 20;
    const std::size_t capacity = list.capacity() * sizeof(std::int32_t);
    if (capacity < kWorthIt) {
        return;
    }
    const std::size_t end = list.size() * sizeof(std::int32_t);
    const std::size_t newEnd = end + count * sizeof(std::int32_t);
    const std::size_t from = end == 0 ? 0 : (end / kStretch + 2) * kStretch;
    const std::size_t to = std::min(capacity, (newEnd / kStretch + 2) * kStretch);
    if (from < to) {
        supplyPagesNow(reinterpret_cast<char*>(list.data()) + from, to - from);
    }
}

void markCapacityForLargePages(NumberList& list, const std::string& systemRoot) {
    const std::size_t bytes = list.capacity() * sizeof(std::int32_t);
    if (!list.empty() || bytes < NumberList::allocator_type::kAlignedFrom) {
        return;
    }
    if (askForLargePages(readLargePageReadings(systemRoot), bytes)) {
        markForLargePages(list.data(), bytes);
    }
}

namespace {

// Where `list` has no capacity for `count` more numbers: has it move once,
// into capacity for as many as `mostNumbers`. Growing by doubling would move it again
// and again, each time holding two copies, so that a list that grows from
// nothing (from a pipe) could use only half the memory there is. Where
// nothing bounds the list, or that much address space cannot be had, the
// vector grows as it does.
void moveOnceFor(NumberList& list, std::size_t count, std::size_t mostNumbers) {
    if (list.capacity() - list.size() >= count || mostNumbers == SIZE_MAX) {
        return;
    }
    try {
        list.reserve(std::max(list.size() + count, mostNumbers));
    } catch (const std::exception&) {
    }
}

}  // namespace

std::size_t mostNumbersFor(const NumberList& list, std::uint64_t memory) {
    constexpr std::uint64_t kBytes = sizeof(std::int32_t);
    if (memory == kNoLimit) {
        return SIZE_MAX;
    }
    const std::uint64_t size = list.size();
    const std::uint64_t withinMemory =
        std::min<std::uint64_t>(size + memory / kBytes, list.max_size());
    // Moving when full, the list holds its capacity twice over: what it
    // holds now is charged already, the rest of the old copy and all of the
    // new one take memory.
    const std::uint64_t capacity = list.capacity();
    const bool canMove = (2 * capacity - size) * kBytes <= memory;
    return static_cast<std::size_t>(withinMemory <= capacity || canMove ? withinMemory
                                                                        : std::max(capacity, size));
}

std::size_t appendNumbers(NumberList& list, const std::int32_t* values, std::size_t count,
                          std::size_t mostNumbers) {
    const std::size_t fits =
        list.size() >= mostNumbers ? 0 : std::min(count, mostNumbers - list.size());
    moveOnceFor(list, fits, mostNumbers);
    supplyPagesAhead(list, fits);
    // bad_alloc where memory runs out; length_error past what a vector can
    // hold at all, which a 32-bit system reaches.
    try {
        list.insert(list.end(), values, values + fits);
        return fits;
    } catch (const std::exception&) {
    }
    // One at a time, to find the first number that no longer fits.
    std::size_t stored = 0;
    try {
        for (; stored < fits; ++stored) {
            list.push_back(values[stored]);
        }
    } catch (const std::exception&) {
    }
    return stored;
}

namespace {

// Whether any of the `pairs` neighbouring pairs from `p` on descends: a loop
// without a branch, which compilers turn into vector compares.
bool anyDescent(const std::int32_t* p, std::size_t pairs) {
    unsigned descends = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        descends |= static_cast<unsigned>(p[i + 1] < p[i]);
    }
    return descends != 0;
}

}  // namespace

std::size_t firstDescentIn(const std::int32_t* first, const std::int32_t* last, bool continues) {
    constexpr std::ptrdiff_t kPairs = 256;
    const std::int32_t* from = continues ? first - 1 : first;
    while (last - from > kPairs && !anyDescent(from, kPairs)) {
        from += kPairs;
    }
    return static_cast<std::size_t>(std::is_sorted_until(from, last) - first);
}

std::uint64_t descentLineIn(const std::int32_t* values, std::size_t at, std::size_t count,
                            const scan::NumberBatch& batch) {
    const std::size_t descent = firstDescentIn(values + at, values + at + count, at != 0);
    return descent < count ? batch.lineOf(descent) : 0;
}

scan::ScanEnd loadNumbers(NumberList& list, std::streambuf& in, std::size_t mostNumbers,
                          const scan::SplitFile* split, const scan::ScanKernel& kernel,
                          const std::function<void(std::uint64_t)>& warnOfDescent) {
    bool orderChecked = false;  // the warning is given once, at the first descent
    const auto warnOnce = [&](std::uint64_t line) {
        orderChecked = true;
        warnOfDescent(line);
    };
    const auto loadRest = [&](std::streambuf& rest, std::uint64_t firstLine, std::uint64_t at) {
        return scan::scanNumbers(
            rest,
            [&](const scan::NumberBatch& batch) {
                const std::size_t before = list.size();
                const std::size_t stored =
                    appendNumbers(list, batch.values, batch.count, mostNumbers);
                const std::uint64_t descent =
                    orderChecked ? 0 : descentLineIn(list.data(), before, stored, batch);
                if (descent != 0) {
                    warnOnce(descent);
                }
                return stored;
            },
            kernel, firstLine, {split != nullptr ? split->fd : -1, at});
    };
    if (split == nullptr) {
        return loadRest(in, 1, 0);
    }
    LoadWork work(list, mostNumbers, kernel, warnOnce);
    return scan::readSplit(in, *split, work, loadRest);
}

void loadSortedList(const scan::ScanKernel& kernel, const std::string& systemRoot) {
    if (sortedFile.is_open() && !sortedFile) {
        return;  // loaded already
    }
    // Never opened, it stays unopened; if the last reopen failed, it is
    // tried again.
    reopenSortedFileIfReplaced();
    if (!sortedFile.is_open() || !sortedFile) {
        return;
    }
    std::streambuf& file = *sortedFile.rdbuf();
    reserveForNumbers(file, sortedList);
    markCapacityForLargePages(sortedList, systemRoot);
    const std::uint64_t memory = memoryLeft(readMemoryReadings(systemRoot));
    ReadingProgress progress("sortedNumbers.txt", file);
    // Split over threads only from the file's start, into a list with capacity
    // reserved for all that it can hold.
    scan::SplitFile split;
    if (sortedList.empty() && file.pubseekoff(0, std::ios::cur, std::ios::in) == 0) {
        split =
            openThreadedFile("sortedNumbers.txt", sortedFileIdentity, memory, kLoadThreadMemory);
    }
    if (sortedList.capacity() < split.size / 2 + 1) {
        closeThreadedFile(split);
    }
    // With overcommit, or in a memory cgroup, an allocation that the system
    // cannot back still succeeds, and the pages written later are what get
    // the process killed: so the list is bounded before it grows, leaving
    // room for the threads.
    const std::uint64_t threadsMemory =
        split.fd >= 0 && split.threads > 1 ? split.threads * kLoadThreadMemory : 0;
    const std::size_t mostNumbers = mostNumbersFor(
        sortedList, memory == kNoLimit ? memory : memory - std::min(memory, threadsMemory));
    split.whileWaiting = [&progress](std::uint64_t read) { progress.advanceTo(read); };
    const scan::ScanEnd end =
        loadNumbers(sortedList, progress.stream(), mostNumbers, split.fd >= 0 ? &split : nullptr,
                    kernel, [&progress](std::uint64_t line) {
                        progress.erase();
                        std::cerr << "The sorted file is not in ascending order at line " << line
                                  << "; binary search results may be wrong!\n";
                    });
    closeThreadedFile(split);
    progress.erase();
    sortedFile.setstate(std::ios::failbit);
    reportEarlyStop("sorted file", end);
}
