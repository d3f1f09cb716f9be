// The load's part of a split reading.
#include "search/splitLoad.h"

#include <algorithm>
#include <utility>

#include "search/sortedList.h"
#include "system/pageSupply.h"

LoadWork::LoadWork(NumberList& list, std::size_t mostNumbers, const scan::ScanKernel& kernel,
                   std::function<void(std::uint64_t)> warnOfDescent)
    : list_(list),
      most_(std::min(mostNumbers, list.capacity())),
      kernel_(kernel),
      warnOfDescent_(std::move(warnOfDescent)) {}

void LoadWork::makeSlots(unsigned count) {
    list_.resize(most_);  // only address space: the pieces write their places
    slots_.resize(count);
}

scan::ScanEnd LoadWork::read(std::streambuf& piece, std::uint64_t, unsigned slot) {
    PieceNumbers& mine = slots_[slot];
    mine.numbers.clear();
    mine.firstLine = mine.descentLine = 0;
    return scan::scanNumbers(
        piece,
        [&mine](const scan::NumberBatch& batch) {
            const std::size_t before = mine.numbers.size();
            mine.numbers.insert(mine.numbers.end(), batch.values, batch.values + batch.count);
            if (before == 0 && batch.count > 0) {
                mine.firstLine = batch.lineOf(0);
            }
            if (mine.descentLine == 0) {
                mine.descentLine = descentLineIn(mine.numbers.data(), before, batch.count, batch);
            }
            return batch.count;
        },
        kernel_);
}

bool LoadWork::join(unsigned slot, std::uint64_t linesBefore) {
    PieceNumbers& piece = slots_[slot];
    if (piece.numbers.size() > most_ - stored_) {
        return false;
    }
    if (descentLine_ == 0 && stored_ > 0 && !piece.numbers.empty() &&
        piece.numbers.front() < last_) {
        descentLine_ = linesBefore + piece.firstLine;  // at the seam
    } else if (descentLine_ == 0 && piece.descentLine != 0) {
        descentLine_ = linesBefore + piece.descentLine;
    }
    piece.at = stored_;
    stored_ += piece.numbers.size();
    last_ = piece.numbers.empty() ? last_ : piece.numbers.back();
    return true;
}

void LoadWork::place(unsigned slot) {
    const PieceNumbers& piece = slots_[slot];
    std::int32_t* const to = list_.data() + piece.at;
    supplyPagesNow(to, piece.numbers.size() * sizeof(std::int32_t));
    std::copy(piece.numbers.begin(), piece.numbers.end(), to);
}

void LoadWork::finish(bool keep) {
    if (!keep) {
        stored_ = 0;
        descentLine_ = 0;
    }
    list_.resize(stored_);
    slots_.clear();
    if (descentLine_ != 0) {
        warnOfDescent_(descentLine_);
    }
}
