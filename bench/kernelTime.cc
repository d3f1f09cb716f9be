// The count's kernels alone: a file's first 4 MiB, counted over and over
// from memory, so that neither read() nor the page cache is timed. What
// doc/performance.md's breakdown of a block's cycles was measured with, and,
// under callgrind, its instruction counts. A smaller sample, one that stays in
// the second-level cache, repeats too often: the branch predictor learns its
// rare branches. On 192 KiB, checks deferred to the end of each window timed
// 15% faster than the block loop's; on 4 MiB, and on the whole file, slower.
//
//   needle_kernel_time FILE [TARGET [BYTES [KERNEL]]]
//
// TARGET defaults to the file's first number, BYTES to 10^9, KERNEL to
// every kernel the processor runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "scan/numberScanner.h"

namespace {

constexpr std::size_t kSample = std::size_t{4} << 20;

// `text` again and again, `left` bytes in all.
class Repeated : public std::streambuf {
  public:
    Repeated(const std::string& text, std::uint64_t left) : text_(text), left_(left) {}

  protected:
    std::streamsize xsgetn(char* s, std::streamsize n) override {
        const auto size = static_cast<std::uint64_t>(
            std::min<std::uint64_t>({static_cast<std::uint64_t>(n), text_.size() - at_, left_}));
        std::memcpy(s, text_.data() + at_, size);
        at_ = (at_ + size) % text_.size();
        left_ -= size;
        return static_cast<std::streamsize>(size);
    }

  private:
    const std::string& text_;
    std::uint64_t left_;
    std::size_t at_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: needle_kernel_time FILE [TARGET [BYTES [KERNEL]]]\n", stderr);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string text(kSample, '\0');
    in.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    text.resize(text.rfind('\n') + 1);  // whole lines, so that the repeats join
    if (text.empty()) {
        std::fputs("needle_kernel_time: no line in the file's first 4 MiB\n", stderr);
        return 1;
    }
    const auto target = static_cast<std::int32_t>(std::atol(argc > 2 ? argv[2] : text.c_str()));
    const std::uint64_t bytes = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1'000'000'000;
    for (const scan::ScanKernel* kernel : scan::supportedKernels()) {
        if (argc > 4 && std::strcmp(argv[4], scan::kernelName(*kernel)) != 0) {
            continue;
        }
        Repeated repeated(text, bytes);
        const auto start = std::chrono::steady_clock::now();
        const scan::NumberCount count = scan::countNumbers(repeated, target, *kernel);
        const std::chrono::duration<double, std::nano> took =
            std::chrono::steady_clock::now() - start;
        std::printf("%-9s %6.2f ns a 64-byte block  %lld numbers, %lld of %d\n",
                    scan::kernelName(*kernel), took.count() / (static_cast<double>(bytes) / 64),
                    static_cast<long long>(count.numbers), static_cast<long long>(count.matches),
                    target);
    }
    return 0;
}
