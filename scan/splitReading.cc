// The cuts, the ranges and the threads of a reading split over threads.
#include "scan/splitReading.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ios>
#include <mutex>
#include <system_error>
#include <thread>

#include "scan/machine.h"

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

}  // namespace

std::vector<std::uint64_t> rangeStarts(int fd, std::uint64_t size, unsigned parts) {
    std::vector<std::uint64_t> starts = {0};
    char bytes[4096];
    for (unsigned i = 1; i < parts; ++i) {
        std::uint64_t at = std::max(size / parts * i, starts.back());
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

void SplitShared::stopAt(unsigned r) {
    unsigned first = firstStopped.load();
    while (r < first && !firstStopped.compare_exchange_weak(first, r)) {
    }
}

std::streamsize RangeBuf::xsgetn(char* s, std::streamsize n) {
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

void runOnThreads(unsigned count, const std::function<void(unsigned)>& job,
                  const std::function<void(std::uint64_t)>& whileWaiting,
                  const std::atomic<std::uint64_t>& bytesRead) {
    std::mutex lock;
    std::condition_variable finished;
    unsigned running = 0;
    std::vector<std::thread> threads;
    std::vector<unsigned> unstarted;
    // Room first: a vector that failed to grow with threads running would
    // end the program.
    threads.reserve(count);
    unstarted.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        {
            const std::lock_guard<std::mutex> hold(lock);
            ++running;
        }
        try {
            threads.emplace_back([&, i] {
                job(i);
                const std::lock_guard<std::mutex> hold(lock);
                --running;
                finished.notify_one();
            });
        } catch (const std::system_error&) {
            const std::lock_guard<std::mutex> hold(lock);
            --running;
            unstarted.push_back(i);  // no thread to be had: run here, after the others
        }
    }
    {
        std::unique_lock<std::mutex> wait(lock);
        while (running != 0) {
            finished.wait_for(wait, std::chrono::milliseconds(100));
            if (whileWaiting) {
                wait.unlock();
                whileWaiting(bytesRead.load());
                wait.lock();
            }
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const unsigned i : unstarted) {
        job(i);
    }
}

}  // namespace scan
