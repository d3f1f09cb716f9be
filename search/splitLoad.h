// The load's work in a split reading: each piece read into its thread's
// slot, then at its turn given its place in the list, and copied there by the
// thread that read it, so that the list's fresh pages are supplied on every
// core at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "frontend/numberList.h"
#include "scan/splitReading.h"

class LoadWork : public scan::PieceWork {
  public:
    // Loads into the empty `list`, up to its capacity and at most
    // `mostNumbers`; once the threads have ended, calls warnOfDescent with
    // the line of the first number smaller than the one before it, if any.
    LoadWork(NumberList& list, std::size_t mostNumbers, const scan::ScanKernel& kernel,
             std::function<void(std::uint64_t)> warnOfDescent);

    // A thread places its piece before it reads another: one slot each.
    unsigned slotsPerThread() const override { return 1; }
    // Lays the list out for the pieces too: only a reading that is split
    // makes slots.
    void makeSlots(unsigned count) override;
    scan::ScanEnd read(std::streambuf& piece, std::uint64_t index, unsigned slot) override;
    bool join(unsigned slot, std::uint64_t linesBefore) override;
    void place(unsigned slot) override;
    void finish(bool keep) override;

  private:
    // What a thread found in one piece, before its turn; its lines count
    // from 1 at the piece's start.
    struct PieceNumbers {
        std::vector<std::int32_t> numbers;
        std::uint64_t firstLine = 0;    // of its first number
        std::uint64_t descentLine = 0;  // of the first number in it smaller than the one before
        std::size_t at = 0;             // its place in the list, once joined
    };

    NumberList& list_;
    std::size_t most_;  // the most numbers the list may hold
    const scan::ScanKernel& kernel_;
    std::function<void(std::uint64_t)> warnOfDescent_;
    std::vector<PieceNumbers> slots_;
    std::size_t stored_ = 0;         // numbers given their place
    std::int32_t last_ = 0;          // the last of them
    std::uint64_t descentLine_ = 0;  // of the first descent among them; 0: none
};
