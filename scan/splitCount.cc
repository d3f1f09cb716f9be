// The count of a regular file split over threads: the file cut into ranges at
// white space, each range counted by the one-thread reader, and the counts
// joined in file order.
//
// A range starts just after a white-space byte, where the one-thread reader
// is between tokens too, so each range reads exactly as the whole file would
// there; only its line numbers start again at 1, and the join adds the lines
// of the ranges before. The first stop in file order wins, whichever thread
// finds its stop first.
#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ios>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "scan/machine.h"
#include "scan/numberScanner.h"

namespace scan {
namespace {

// pread, again when a signal interrupts it: -1 on an error.
ssize_t readAt(int fd, char* to, std::size_t n, std::uint64_t at) {
    ssize_t got;
    do {
        got = ::pread(fd, to, n, static_cast<off_t>(at));
    } while (got < 0 && errno == EINTR);
    return got;
}

// How far past where a range would start the white space to start it at is
// looked for: a token that long is a bad one, which the range before reads.
constexpr std::uint64_t kCutSearch = 64 * 1024;

// Where each range starts: `parts` nearly equal pieces of [0, size), each
// moved on to just after the next white space. Where there is none near, the
// piece joins the one before, so that a token is never cut, and a file of
// one long token is not read through before its reading starts.
std::vector<std::uint64_t> rangeStarts(int fd, std::uint64_t size, unsigned parts) {
    std::vector<std::uint64_t> starts = {0};
    char bytes[4096];
    for (unsigned i = 1; i < parts; ++i) {
        std::uint64_t at = std::max(size / parts * i, starts.back() + 1);
        const std::uint64_t searchEnd = std::min(size, at + kCutSearch);
        std::uint64_t cut = 0;
        while (at < searchEnd && cut == 0) {
            const ssize_t got = readAt(fd, bytes, sizeof bytes, at);
            if (got <= 0) {
                return starts;  // unreadable or ended: the ranges so far take the rest
            }
            for (ssize_t k = 0; k < got && cut == 0; ++k) {
                if (isSpace(static_cast<unsigned char>(bytes[k]))) {
                    cut = at + static_cast<std::uint64_t>(k) + 1;
                }
            }
            at += static_cast<std::uint64_t>(got);
        }
        if (cut != 0 && cut < size) {
            starts.push_back(cut);
        }
    }
    return starts;
}

// What the ranges share: which of them stopped first, and how much all of
// them have read.
struct Shared {
    std::atomic<unsigned> firstStopped;
    std::atomic<std::uint64_t> bytesRead{0};

    explicit Shared(unsigned ranges) : firstStopped(ranges) {}
    // Range `r` has stopped, or found the file's end before its own.
    void stopAt(unsigned r) {
        unsigned first = firstStopped.load();
        while (r < first && !firstStopped.compare_exchange_weak(first, r)) {
        }
    }
};

// One range of the file as a stream: [begin, end), or for the last range to
// the file's end as it is. It ends early once a range before it has stopped,
// since what it reads after that is thrown away.
class RangeBuf : public std::streambuf {
  public:
    RangeBuf(int fd, std::uint64_t begin, std::uint64_t end, bool last, unsigned index,
             Shared& shared)
        : fd_(fd), at_(begin), end_(end), last_(last), index_(index), shared_(shared) {}

    // Whether the file ended before the range did: it shrank while read.
    bool shortened() const { return shortened_; }

  protected:
    std::streamsize xsgetn(char* s, std::streamsize n) override {
        if (shared_.firstStopped.load(std::memory_order_relaxed) < index_) {
            return 0;
        }
        auto want = static_cast<std::uint64_t>(n);
        if (!last_) {
            want = std::min(want, end_ - at_);
        }
        if (want == 0) {
            return 0;
        }
        const ssize_t got = readAt(fd_, s, static_cast<std::size_t>(want), at_);
        if (got < 0) {
            throw std::ios_base::failure("read error");
        }
        shortened_ = got == 0 && !last_;
        at_ += static_cast<std::uint64_t>(got);
        shared_.bytesRead.fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
        return got;
    }

  private:
    int fd_;
    std::uint64_t at_, end_;
    bool last_;
    unsigned index_;
    Shared& shared_;
    bool shortened_ = false;
};

struct RangeCount {
    NumberCount count;
    bool shortened = false;
};

// Counts range `r` into `result`. Whatever goes wrong ends the range as
// running out of memory does (the scanner's own buffers report that way),
// at its first line: the stop in file order decides what the user sees.
void countRange(const SplitFile& file, const std::vector<std::uint64_t>& starts, unsigned r,
                std::int32_t target, const ScanKernel& kernel, Shared& shared,
                RangeCount& result) noexcept {
    const bool last = r + 1 == starts.size();
    try {
        RangeBuf range(file.fd, starts[r], last ? 0 : starts[r + 1], last, r, shared);
        result.count = countNumbers(range, target, kernel);
        result.shortened = range.shortened();
    } catch (...) {
        result.count = {};
        result.count.end.stop = ScanStop::outOfMemory;
    }
    if (result.count.end.stop != ScanStop::endOfFile || result.shortened) {
        shared.stopAt(r);
    }
}

// A range that ran out of memory on a thread of its own, where the others
// took room too, is read again here, now that they have ended, with every
// range after it: the one-thread reading runs out where it would, not where
// the threads together did.
void rereadAfterMemoryRanOut(const SplitFile& file, const std::vector<std::uint64_t>& starts,
                             std::int32_t target, const ScanKernel& kernel, Shared& shared,
                             std::vector<RangeCount>& results) {
    const auto count = static_cast<unsigned>(results.size());
    unsigned r = 0;
    while (r < count && results[r].count.end.stop == ScanStop::endOfFile && !results[r].shortened) {
        ++r;
    }
    if (r == count || results[r].count.end.stop != ScanStop::outOfMemory) {
        return;
    }
    shared.firstStopped = count;
    for (; r < count && shared.firstStopped == count; ++r) {
        countRange(file, starts, r, target, kernel, shared, results[r]);
    }
}

// The counts of the ranges in file order, up to the first that stopped.
NumberCount joined(const std::vector<RangeCount>& ranges) {
    NumberCount total;
    std::uint64_t linesBefore = 0;
    for (std::size_t r = 0; r < ranges.size(); ++r) {
        const NumberCount& count = ranges[r].count;
        total.numbers += count.numbers;
        total.matches += count.matches;
        total.end = count.end;
        total.end.line = linesBefore + count.end.line;
        if (count.end.stop != ScanStop::endOfFile || ranges[r].shortened) {
            break;
        }
        linesBefore += count.end.line - 1;
    }
    return total;
}

}  // namespace

NumberCount countNumbers(const SplitFile& file, std::int32_t target, const ScanKernel& kernel,
                         unsigned* ranges) {
    const std::uint64_t most = std::max<std::uint64_t>(file.size / file.smallestRange, 1);
    const auto parts = static_cast<unsigned>(std::min<std::uint64_t>(file.threads, most));
    const std::vector<std::uint64_t> starts = rangeStarts(file.fd, file.size, parts);
    const auto count = static_cast<unsigned>(starts.size());
    if (ranges != nullptr) {
        *ranges = count;
    }
    Shared shared(count);
    std::vector<RangeCount> results(count);
    std::mutex lock;
    std::condition_variable finished;
    unsigned running = 0;
    std::vector<std::thread> threads;
    std::vector<unsigned> unstarted;
    // Room first: a vector that failed to grow with threads running would
    // end the program.
    threads.reserve(count);
    unstarted.reserve(count);
    for (unsigned r = 0; r < count; ++r) {
        {
            const std::lock_guard<std::mutex> hold(lock);
            ++running;
        }
        try {
            threads.emplace_back([&, r] {
                countRange(file, starts, r, target, kernel, shared, results[r]);
                const std::lock_guard<std::mutex> hold(lock);
                --running;
                finished.notify_one();
            });
        } catch (const std::system_error&) {
            const std::lock_guard<std::mutex> hold(lock);
            --running;
            unstarted.push_back(r);  // no thread to be had: read here, after the others
        }
    }
    {
        std::unique_lock<std::mutex> wait(lock);
        while (running != 0) {
            finished.wait_for(wait, std::chrono::milliseconds(100));
            if (file.whileWaiting) {
                wait.unlock();
                file.whileWaiting(shared.bytesRead.load());
                wait.lock();
            }
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const unsigned r : unstarted) {
        countRange(file, starts, r, target, kernel, shared, results[r]);
    }
    rereadAfterMemoryRanOut(file, starts, target, kernel, shared, results);
    return joined(results);
}

}  // namespace scan
