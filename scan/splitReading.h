// What a reading of a regular file split over threads is made of: the cuts
// at white space, a range of the file as a stream, and the threads.
//
// A range starts just after a white-space byte, where the one-thread reader
// is between tokens too, so each range reads exactly as the whole file would
// there; only its line numbers start again at 1. The first stop in file
// order wins, whichever thread finds its stop first.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <streambuf>
#include <vector>

namespace scan {

// Where each range starts: `parts` nearly equal pieces of [0, size), each
// moved on to just after the next white space. Where there is none near, the
// piece joins the one before, so that a token is never cut, and a file of
// one long token is not read through before its reading starts.
std::vector<std::uint64_t> rangeStarts(int fd, std::uint64_t size, unsigned parts);

// What the ranges share: which of them stopped first, and how much all of
// them have read.
struct SplitShared {
    std::atomic<unsigned> firstStopped;
    std::atomic<std::uint64_t> bytesRead{0};

    explicit SplitShared(unsigned ranges) : firstStopped(ranges) {}
    // Range `r` has stopped, or found the file's end before its own.
    void stopAt(unsigned r);
};

// Range `index` of the file as a stream: [begin, end), or for the last
// range to the file's end as it is. It ends early once a range before it
// has stopped, since what it reads after that is thrown away.
class RangeBuf : public std::streambuf {
  public:
    RangeBuf(int fd, std::uint64_t begin, std::uint64_t end, bool last, unsigned index,
             SplitShared& shared)
        : fd_(fd), at_(begin), end_(end), last_(last), index_(index), shared_(shared) {}

    // Whether the file ended before the range did: it shrank while read.
    bool shortened() const { return shortened_; }

  protected:
    std::streamsize xsgetn(char* s, std::streamsize n) override;

  private:
    int fd_;
    std::uint64_t at_, end_;
    bool last_;
    unsigned index_;
    SplitShared& shared_;
    bool shortened_ = false;
};

// Runs job(0) to job(count - 1), each on a thread of its own, and returns
// once all have ended; meanwhile calls whileWaiting, when given, about ten
// times a second with what `bytesRead` says. A job whose thread cannot be
// started runs on the calling thread, after the others. Jobs must not throw.
void runOnThreads(unsigned count, const std::function<void(unsigned)>& job,
                  const std::function<void(std::uint64_t)>& whileWaiting,
                  const std::atomic<std::uint64_t>& bytesRead);

}  // namespace scan
