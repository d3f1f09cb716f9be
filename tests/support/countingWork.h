// needle's own count over the pieces of a split reading, with what tests
// need to force the engine's recovery paths (a piece that runs out of
// memory, a hook around each piece's reading) and to see what the engine
// did.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <new>
#include <set>
#include <thread>

#include "scan/splitReading.h"

class CountingWork : public scan::CountWork {
  public:
    explicit CountingWork(std::int32_t target, const scan::ScanKernel& kernel = scan::bestKernel())
        : CountWork(target, kernel) {}

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
        Watched watched(piece);
        const scan::ScanEnd end = CountWork::read(watched, index, slot);
        bytesRead += watched.bytes;
        if (afterRead) {
            afterRead(index);
        }
        return end;
    }
    bool join(unsigned slot, std::uint64_t linesBefore) override {
        ++joined;
        return CountWork::join(slot, linesBefore);
    }
    void finish(bool keep) override {
        thrownAway = !keep;
        CountWork::finish(keep);
    }
    // Counts `in`, open on `file`, noting where the stream took over.
    scan::NumberCount countAll(std::streambuf& in, const scan::SplitFile& file) {
        Watched watched(in);
        const scan::NumberCount count = CountWork::countAll(watched, file);
        resumeAt = watched.seekedTo;
        return count;
    }

    std::uint64_t outOfMemoryPiece = UINT64_MAX;  // whose reading throws bad_alloc
    // Called on the reading thread with the piece's index.
    std::function<void(std::uint64_t)> beforeRead, afterRead;
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
    // A stream that counts the bytes read from it and notes where it was set.
    struct Watched : std::streambuf {
        explicit Watched(std::streambuf& in) : in_(in) {}
        std::streamsize xsgetn(char* s, std::streamsize n) override {
            const std::streamsize got = in_.sgetn(s, n);
            bytes += static_cast<std::uint64_t>(got);
            return got;
        }
        pos_type seekpos(pos_type at, std::ios_base::openmode which) override {
            seekedTo = static_cast<std::uint64_t>(static_cast<std::streamoff>(at));
            return in_.pubseekpos(at, which);
        }
        std::streambuf& in_;
        std::uint64_t bytes = 0;
        std::uint64_t seekedTo = 0;
    };

    std::mutex lock_;
};
