// A count of one number over the pieces of a split reading, as needle's own
// count makes it, with what tests need to force the engine's recovery paths:
// a piece that runs out of memory, and a hook around each piece's reading.
#pragma once

#include <cstdint>
#include <functional>
#include <new>
#include <vector>

#include "scan/splitReading.h"

class CountingWork : public scan::PieceWork {
  public:
    explicit CountingWork(std::int32_t target) : target_(target) {}

    unsigned slotsPerThread() const override { return 2; }
    void makeSlots(unsigned count) override { tallies_.assign(count, {}); }
    scan::ScanEnd read(std::streambuf& piece, std::uint64_t index, unsigned slot) override {
        if (index == outOfMemoryPiece) {
            throw std::bad_alloc();
        }
        if (beforeRead) {
            beforeRead(index);
        }
        tallies_[slot] = scan::countNumbers(piece, target_);
        if (afterRead) {
            afterRead(index);
        }
        return tallies_[slot].end;
    }
    bool join(unsigned slot, std::uint64_t) override {
        scan::addCount(total, tallies_[slot]);
        return true;
    }
    void finish(bool keep) override { total = keep ? total : scan::NumberCount{}; }

    // Reads `in`, open on `file`, split, the rest as the count does.
    scan::NumberCount countAll(std::streambuf& in, const scan::SplitFile& file) {
        total.end =
            scan::readSplit(in, file, *this, [this](std::streambuf& rest, std::uint64_t line) {
                const scan::NumberCount count =
                    scan::countNumbers(rest, target_, scan::bestKernel(), line);
                scan::addCount(total, count);
                return count.end;
            });
        return total;
    }

    std::uint64_t outOfMemoryPiece = UINT64_MAX;  // whose reading throws bad_alloc
    // Called on the reading thread with the piece's index.
    std::function<void(std::uint64_t)> beforeRead, afterRead;
    scan::NumberCount total;

  private:
    std::int32_t target_;
    std::vector<scan::NumberCount> tallies_;
};
