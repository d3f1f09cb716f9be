// The count split over threads: each piece counted by the one-thread count,
// the tallies added at each piece's turn.
#include "scan/splitReading.h"

#include <algorithm>

#include "scan/readSizes.h"

namespace scan {

std::uint64_t countPieceSize(std::uint64_t size, unsigned threads) {
    const std::uint64_t smallest = SplitFile{}.pieceSize, largest = std::uint64_t{2} << 20;
    const std::uint64_t share = size / (16 * std::uint64_t{std::max(threads, 1u)});
    return std::clamp(share / kChunk * kChunk, smallest, largest);
}

ScanEnd CountWork::read(std::streambuf& piece, std::uint64_t, unsigned slot) {
    tallies_[slot] = countNumbers(piece, target_, kernel_);
    return tallies_[slot].end;
}

bool CountWork::join(unsigned slot, std::uint64_t) {
    addCount(total_, tallies_[slot]);
    return true;
}

NumberCount CountWork::countAll(std::streambuf& in, const SplitFile& file) {
    total_.end =
        readSplit(in, file, *this, [&](std::streambuf& rest, std::uint64_t line, std::uint64_t at) {
            const NumberCount count = countNumbers(rest, target_, kernel_, line, {file.fd, at});
            addCount(total_, count);
            return count.end;
        });
    return total_;
}

}  // namespace scan
