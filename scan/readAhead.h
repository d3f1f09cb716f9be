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
#pragma once

#include <cstddef>
#include <cstdint>

#include "scan/numberScanner.h"

namespace scan {

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
    int fd_;
    std::uint64_t at_;  // the file offset of the stream's next byte
    const char* window_ = nullptr;
    std::uint64_t windowAt_ = 0;  // the file offset of window_'s first byte
    std::size_t windowSize_ = 0;
};

}  // namespace scan
