// The count of a regular file split over threads: the file cut into ranges at
// white space (see scan/splitReading.h), each range counted by the one-thread
// reader, and the counts joined in file order, each range's lines after the
// lines of the ranges before.
#include <algorithm>
#include <vector>

#include "scan/numberScanner.h"
#include "scan/splitReading.h"

namespace scan {
namespace {

struct RangeCount {
    NumberCount count;
    bool shortened = false;
};

// Counts range `r` into `result`. Whatever goes wrong ends the range as
// running out of memory does (the scanner's own buffers report that way),
// at its first line: the stop in file order decides what the user sees.
void countRange(const SplitFile& file, const std::vector<std::uint64_t>& starts, unsigned r,
                std::int32_t target, const ScanKernel& kernel, SplitShared& shared,
                RangeCount& result) noexcept {
    const bool last = r + 1 == starts.size();
    try {
        RangeBuf range(file.fd, starts[r], last ? 0 : starts[r + 1], last, r, shared);
        result.count = countNumbers(range, target, kernel);
        result.shortened = range.shortened();
    } catch (...) {
        result.count = {};
        result.count.end.stop = ScanStop::outOfMemory;
    }
    if (result.count.end.stop != ScanStop::endOfFile || result.shortened) {
        shared.stopAt(r);
    }
}

// A range that ran out of memory on a thread of its own, where the others
// took room too, is read again here, now that they have ended, with every
// range after it: the one-thread reading runs out where it would, not where
// the threads together did.
void rereadAfterMemoryRanOut(const SplitFile& file, const std::vector<std::uint64_t>& starts,
                             std::int32_t target, const ScanKernel& kernel, SplitShared& shared,
                             std::vector<RangeCount>& results) {
    const auto count = static_cast<unsigned>(results.size());
    unsigned r = 0;
    while (r < count && results[r].count.end.stop == ScanStop::endOfFile && !results[r].shortened) {
        ++r;
    }
    if (r == count || results[r].count.end.stop != ScanStop::outOfMemory) {
        return;
    }
    shared.firstStopped = count;
    for (; r < count && shared.firstStopped == count; ++r) {
        countRange(file, starts, r, target, kernel, shared, results[r]);
    }
}

// The counts of the ranges in file order, up to the first that stopped.
NumberCount joined(const std::vector<RangeCount>& ranges) {
    NumberCount total;
    std::uint64_t linesBefore = 0;
    for (std::size_t r = 0; r < ranges.size(); ++r) {
        const NumberCount& count = ranges[r].count;
        total.numbers += count.numbers;
        total.matches += count.matches;
        total.end = count.end;
        total.end.line = linesBefore + count.end.line;
        if (count.end.stop != ScanStop::endOfFile || ranges[r].shortened) {
            break;
        }
        linesBefore += count.end.line - 1;
    }
    return total;
}

}  // namespace

NumberCount countNumbers(const SplitFile& file, std::int32_t target, const ScanKernel& kernel,
                         unsigned* ranges) {
    const std::uint64_t most = std::max<std::uint64_t>(file.size / file.smallestRange, 1);
    const auto parts = static_cast<unsigned>(std::min<std::uint64_t>(file.threads, most));
    const std::vector<std::uint64_t> starts = rangeStarts(file.fd, file.size, parts);
    const auto count = static_cast<unsigned>(starts.size());
    if (ranges != nullptr) {
        *ranges = count;
    }
    SplitShared shared(count);
    std::vector<RangeCount> results(count);
    runOnThreads(
        count, [&](unsigned r) { countRange(file, starts, r, target, kernel, shared, results[r]); },
        file.whileWaiting, shared.bytesRead);
    rereadAfterMemoryRanOut(file, starts, target, kernel, shared, results);
    return joined(results);
}

}  // namespace scan
