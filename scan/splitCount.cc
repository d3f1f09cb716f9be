// The count split over threads: each piece counted by the one-thread count,
// the tallies added at each piece's turn.
#include <vector>

#include "scan/splitReading.h"

namespace scan {
namespace {

class CountWork : public PieceWork {
  public:
    CountWork(std::int32_t target, const ScanKernel& kernel) : target_(target), kernel_(kernel) {}

    void makeSlots(unsigned count) override { tallies_.assign(count, {}); }
    ScanEnd read(std::streambuf& piece, std::uint64_t, unsigned slot) override {
        tallies_[slot] = countNumbers(piece, target_, kernel_);
        return tallies_[slot].end;
    }
    bool join(unsigned slot, std::uint64_t) override {
        total_.numbers += tallies_[slot].numbers;
        total_.matches += tallies_[slot].matches;
        return true;
    }
    void finish(bool keep) override {
        if (!keep) {
            total_ = {};
        }
    }

    NumberCount& total() { return total_; }

  private:
    std::int32_t target_;
    const ScanKernel& kernel_;
    std::vector<NumberCount> tallies_;
    NumberCount total_;
};

}  // namespace

NumberCount countNumbers(std::streambuf& in, const SplitFile& file, std::int32_t target,
                         const ScanKernel& kernel) {
    CountWork work(target, kernel);
    NumberCount& total = work.total();
    total.end = readSplit(in, file, work, [&](std::streambuf& rest, std::uint64_t) {
        const NumberCount count = countNumbers(rest, target, kernel);
        total.numbers += count.numbers;
        total.matches += count.matches;
        return count.end;
    });
    return total;
}

}  // namespace scan
