// Reading ahead of read(): while the scanner reads one chunk of a file, the
// memory brings the file's next chunk into the cache, so that the read()
// that copies it finds it there rather than in main memory.
//
// On one core, read() took most of a count's time, nearly all of it waiting
// on main memory for the page cache's bytes, while the kernels' own work
// waits on nothing: the two took turns. So the kernels, as they read each
// block, ask for the line of the file one chunk further on (a prefetch),
// and the two overlap.
// A prefetch needs the page mapped, so the next chunk's pages are mapped,
// read-only and with the pages the system has in place, a window at a time.
// Nothing is ever read through the mapping, only prefetched, which never
// faults: a file truncated meanwhile, which would make a read through a
// mapping kill the process, costs nothing but the prefetches.
//
// Whether it pays depends on the machine: mapping costs the system a walk of
// the page tables for every page, about 90 ns a page on one Xeon, where it
// paid, and 330 on a Zen 4 virtual machine, where it cost more than the copy
// it spared. So each reading finds out (AheadTrial).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "scan/numberScanner.h"

namespace scan {

// The trial that settles whether a reading reads ahead: its first chunks
// take turns, two that read ahead and two that do not (a mapped window
// serves two chunks), and the kind whose median turn took less time reads
// the rest. A chunk's time runs from its hand-over to the next one's: the
// mapping, the kernel's work and the read of the chunk that follows, which
// is where reading ahead gains or loses.
class AheadTrial {
  public:
    static constexpr int kTurns = 8;  // of each kind
    static constexpr std::uint64_t kChunks = 4 * kTurns;

    // Whether the chunk just handed over reads ahead; called once a chunk.
    bool next() {
        const std::uint64_t chunk = chunks_++;
        return chunk < kChunks ? inTurnWith(chunk) : ahead_;
    }

    // The time that the chunk last passed to next() took, in nanoseconds;
    // ignored before the first chunk and after the trial.
    void took(std::uint64_t nanoseconds);

    // Whether the trial is over.
    bool settled() const { return chunks_ > kChunks; }

  private:
    static bool inTurnWith(std::uint64_t chunk) { return chunk / 2 % 2 == 0; }

    std::uint64_t chunks_ = 0;
    std::array<std::uint64_t, kTurns> with_{};     // a turn's time, reading ahead
    std::array<std::uint64_t, kTurns> without_{};  // and not
    bool ahead_ = false;
};

class ReadAhead {
  public:
    explicit ReadAhead(StreamFile file) : fd_(file.fd), at_(file.at) {}
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The stream has just given the `got` bytes at `text`, the file's next
    // ones: returns how far from each of them the same place in the `got`
    // bytes that follow in the file is mapped, or 0 where they are not (no
    // file, or the mapping failed: then a kernel asks for its own lines).
    std::ptrdiff_t after(const char* text, std::size_t got);

  private:
    void unmap();

    int fd_;
    std::uint64_t at_;  // the file offset of the stream's next byte
    AheadTrial trial_;
    std::chrono::steady_clock::time_point handedOver_;  // the last chunk's, in the trial
    const char* window_ = nullptr;
    std::uint64_t windowAt_ = 0;  // the file offset of window_'s first byte
    std::size_t windowSize_ = 0;
};

}  // namespace scan
