// A count of one number over the pieces of a split reading, as needle's own
// count makes it, with what tests need to force the engine's recovery paths
// (a piece that runs out of memory, a hook around each piece's reading) and
// to see what the engine did.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <new>
#include <set>
#include <thread>
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
        {
            const std::lock_guard<std::mutex> hold(lock_);
            ++pieces;
            threads.insert(std::this_thread::get_id());
        }
        CountedBytes counted(piece, bytesRead);
        tallies_[slot] = scan::countNumbers(counted, target_);
        if (afterRead) {
            afterRead(index);
        }
        return tallies_[slot].end;
    }
    bool join(unsigned slot, std::uint64_t) override {
        scan::addCount(total, tallies_[slot]);
        ++joined;
        return true;
    }
    void finish(bool keep) override {
        total = keep ? total : scan::NumberCount{};
        thrownAway = !keep;
    }

    // Reads `in`, open on `file`, split, the rest as the count does.
    scan::NumberCount countAll(std::streambuf& in, const scan::SplitFile& file) {
        total.end =
            scan::readSplit(in, file, *this, [this](std::streambuf& rest, std::uint64_t line) {
                resumeAt =
                    static_cast<std::uint64_t>(rest.pubseekoff(0, std::ios::cur, std::ios::in));
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
    // What the engine did: the pieces read on threads, the threads that read
    // them (the calling thread among them where one was refused), the bytes
    // those pieces read, the pieces joined, where the stream took over, and
    // whether what the pieces joined was thrown away.
    unsigned pieces = 0;
    std::set<std::thread::id> threads;
    std::atomic<std::uint64_t> bytesRead{0};
    unsigned joined = 0;
    std::uint64_t resumeAt = 0;
    bool thrownAway = false;

  private:
    // A piece's stream that counts the bytes read from it.
    struct CountedBytes : std::streambuf {
        CountedBytes(std::streambuf& in, std::atomic<std::uint64_t>& count)
            : in_(in), count_(count) {}
        std::streamsize xsgetn(char* s, std::streamsize n) override {
            const std::streamsize got = in_.sgetn(s, n);
            count_ += static_cast<std::uint64_t>(got);
            return got;
        }
        std::streambuf& in_;
        std::atomic<std::uint64_t>& count_;
    };

    std::mutex lock_;
    std::int32_t target_;
    std::vector<scan::NumberCount> tallies_;
};
