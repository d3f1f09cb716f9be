// Reading ahead: the window of the file's next chunk, mapped for the
// kernels' prefetches only.
#include "scan/readAhead.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "scan/readSizes.h"

namespace scan {
namespace {

// What is mapped at a time: two chunks, so that a window serves the next
// two, and no more, since its pages count as the process's while mapped.
// Windows of one chunk, mapped again at every chunk, made the count 1.18
// times as slow: each unmapping interrupts the other cores, to have them
// drop the translations they may hold of it.
constexpr std::size_t kAheadWindow = 2 * kChunk;

std::size_t pageSize() {
    static const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

// `length` bytes of the file open on `fd` from `offset`, a multiple of the
// page size, mapped read-only with the pages the system has of them in
// place (those past the file's end are left out); nullptr where they cannot be.
const char* mapFilePages(int fd, std::uint64_t offset, std::size_t length) {
    void* const pages =
        mmap(nullptr, length, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, static_cast<off_t>(offset));
    return pages == MAP_FAILED ? nullptr : static_cast<const char*>(pages);
}

void unmapFilePages(const char* pages, std::size_t length) {
    munmap(const_cast<char*>(pages), length);
}

std::uint64_t median(std::array<std::uint64_t, AheadTrial::kTurns> times) {
    auto middle = times.begin() + times.size() / 2;
    std::nth_element(times.begin(), middle, times.end());
    return *middle;
}

}  // namespace

void AheadTrial::took(std::uint64_t nanoseconds) {
    if (chunks_ == 0 || chunks_ > kChunks) {
        return;  // no chunk yet, or the trial is over
    }
    const std::uint64_t chunk = chunks_ - 1;
    const auto turn = static_cast<std::size_t>(chunk / 4);  // two reading ahead, two not
    (inTurnWith(chunk) ? with_ : without_)[turn] += nanoseconds;
    if (chunk == kChunks - 1) {
        ahead_ = median(with_) < median(without_);
    }
}

ReadAhead::~ReadAhead() {
    unmap();
}

void ReadAhead::unmap() {
    if (window_ != nullptr) {
        unmapFilePages(window_, windowSize_);
        window_ = nullptr;
    }
}

std::ptrdiff_t ReadAhead::after(const char* text, std::size_t got) {
    const std::uint64_t next = at_ + got;
    at_ = next;
    if (fd_ < 0 || got == 0) {
        return 0;
    }
    if (!trial_.settled()) {
        const auto now = std::chrono::steady_clock::now();
        trial_.took(static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(now - handedOver_).count()));
        handedOver_ = now;
    }
    if (!trial_.next()) {
        // A window stays through the trial's turns without, its unmapping
        // counted in the next turn with, as reading ahead's own cost.
        if (trial_.settled()) {
            unmap();
        }
        return 0;
    }
    if (window_ == nullptr || next < windowAt_ || next + got > windowAt_ + windowSize_) {
        unmap();
        const std::size_t page = pageSize();
        windowAt_ = next / page * page;
        const std::size_t needed = static_cast<std::size_t>(next - windowAt_) + got;
        windowSize_ = (std::max(needed, kAheadWindow) + page - 1) / page * page;
        window_ = mapFilePages(fd_, windowAt_, windowSize_);
        if (window_ == nullptr) {
            fd_ = -1;  // not to be tried again for every chunk
            return 0;
        }
    }
    const auto mapped =
        reinterpret_cast<std::uintptr_t>(window_) + static_cast<std::uintptr_t>(next - windowAt_);
    return static_cast<std::ptrdiff_t>(mapped - reinterpret_cast<std::uintptr_t>(text));
}

}  // namespace scan
