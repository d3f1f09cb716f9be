// The count split over threads: each piece counted by the one-thread count,
// the tallies added at each piece's turn.
#include <vector>

#include "scan/splitReading.h"

namespace scan {
namespace {

class CountWork : public PieceWork {
  public:
    CountWork(std::int32_t target, const ScanKernel& kernel) : target_(target), kernel_(kernel) {}

    // A piece's tally waits for its turn while its thread reads the next.
    unsigned slotsPerThread() const override { return 2; }
    void makeSlots(unsigned count) override { tallies_.assign(count, {}); }
    ScanEnd read(std::streambuf& piece, std::uint64_t, unsigned slot) override {
        tallies_[slot] = countNumbers(piece, target_, kernel_);
        return tallies_[slot].end;
    }
    bool join(unsigned slot, std::uint64_t) override {
        addCount(total, tallies_[slot]);
        return true;
    }
    void finish(bool keep) override { total = keep ? total : NumberCount{}; }

    NumberCount total;

  private:
    std::int32_t target_;
    const ScanKernel& kernel_;
    std::vector<NumberCount> tallies_;
};

}  // namespace

NumberCount countSplit(std::streambuf& in, const SplitFile& file, std::int32_t target,
                       const ScanKernel& kernel) {
    CountWork work(target, kernel);
    work.total.end = readSplit(in, file, work, [&](std::streambuf& rest, std::uint64_t line) {
        const NumberCount count = countNumbers(rest, target, kernel, line);
        addCount(work.total, count);
        return count.end;
    });
    return work.total;
}

}  // namespace scan
