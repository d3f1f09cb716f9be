// The ways of reading a number file that the benchmark times.
#include "bench/methods.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "oracle.h"
#include "scan/readSizes.h"
#include "search/sortedList.h"
#include "system/largePages.h"
#include "system/pageSupply.h"

namespace fs = std::filesystem;

namespace {

// What a loaded list holds. Matching and summing every number costs time of
// its own, so only a checking run does it.
template <typename List>
Counts listCounts(const List& list, std::int32_t target, Run run) {
    Counts c;
    c.numbers = static_cast<long long>(list.size());
    if (run == Run::checking) {
        long long matches = 0, checksum = 0;
        for (const std::int32_t v : list) {
            matches += v == target;
            checksum = checksum * 31 + v;
        }
        c.matches = matches;
        c.checksum = checksum;
    }
    return c;
}

// The file opened for reading; the benchmark ends if it cannot be.
int openOrExit(const fs::path& file) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(file.c_str());
        std::exit(1);
    }
    return fd;
}

}  // namespace

bool installed(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

Method plainCountMethod(const fs::path& file, std::int32_t target) {
    return {"plain >> loop", [file, target](Run) {
                std::ifstream in(file);
                const PlainCount c = plainCount(in, target);
                return Counts{c.numbers, c.matches, {}};
            }};
}

Method plainLoadMethod(const fs::path& file, std::int32_t target) {
    return {"plain >> push_back", [file, target](Run run) {
                std::ifstream in(file);
                return listCounts(plainList(in), target, run);
            }};
}

Method needleCountMethod(const fs::path& file, std::int32_t target,
                         const scan::ScanKernel& kernel) {
    return {
        std::string("needle count, ") + scan::kernelName(kernel), [file, target, &kernel](Run) {
            // As the linear search reads on one thread: ahead in the file too.
            std::ifstream in(file);
            const int fd = openOrExit(file);
            const scan::NumberCount c = scan::countNumbers(*in.rdbuf(), target, kernel, 1, {fd, 0});
            close(fd);
            return Counts{c.numbers, c.matches, {}};
        }};
}

Method needleSplitCountMethod(const fs::path& file, std::int32_t target,
                              const scan::ScanKernel& kernel, unsigned threads) {
    return {std::string("needle count, ") + scan::kernelName(kernel) + ", " +
                std::to_string(threads) + " threads",
            [file, target, &kernel, threads](Run) {
                std::filebuf in;
                in.open(file, std::ios::in | std::ios::binary);
                scan::SplitFile split;
                split.fd = openOrExit(file);
                split.size = fs::file_size(file);
                split.threads = threads;
                split.pieceSize = scan::countPieceSize(split.size, threads);
                const scan::NumberCount c = scan::CountWork(target, kernel).countAll(in, split);
                close(split.fd);
                return Counts{c.numbers, c.matches, {}};
            }};
}

NumberList loadOnThreads(const fs::path& file, const scan::ScanKernel& kernel, unsigned threads) {
    NumberList list;
    std::filebuf in;
    in.open(file, std::ios::in | std::ios::binary);
    reserveForNumbers(in, list);
    markCapacityForLargePages(list, "");
    scan::SplitFile split;
    split.fd = openOrExit(file);
    split.size = fs::file_size(file);
    split.threads = threads;
    loadNumbers(list, in, SIZE_MAX, &split, kernel, [](std::uint64_t) {});
    close(split.fd);
    return list;
}

Method needleLoadMethod(const fs::path& file, std::int32_t target, const scan::ScanKernel& kernel,
                        unsigned threads) {
    std::string name = std::string("needle load, ") + scan::kernelName(kernel);
    if (threads > 1) {
        name += ", " + std::to_string(threads) + " threads";
    }
    return {name, [file, target, &kernel, threads](Run run) {
                return listCounts(loadOnThreads(file, kernel, threads), target, run);
            }};
}

Method readAloneSplitMethod(const fs::path& file, unsigned threads) {
    return {"read() alone, " + std::to_string(threads) + " threads", [file, threads](Run) {
                const int fd = openOrExit(file);
                const std::uint64_t size = fs::file_size(file);
                std::vector<std::thread> readers;
                for (unsigned t = 0; t < threads; ++t) {
                    readers.emplace_back([fd, from = size / threads * t,
                                          to = t + 1 == threads ? size : size / threads * (t + 1)] {
                        std::vector<char> buffer(scan::kChunk);
                        for (std::uint64_t at = from; at < to;) {
                            const ssize_t got = pread(
                                fd, buffer.data(), std::min<std::uint64_t>(scan::kChunk, to - at),
                                static_cast<off_t>(at));
                            if (got <= 0) {
                                break;
                            }
                            at += static_cast<std::uint64_t>(got);
                        }
                    });
                }
                for (std::thread& reader : readers) {
                    reader.join();
                }
                close(fd);
                return Counts{};
            }};
}

Method readAloneMethod(const fs::path& file) {
    return {"read() alone", [file](Run) {
                constexpr std::align_val_t kAlignment{64};
                const std::unique_ptr<char, void (*)(char*)> buffer(
                    static_cast<char*>(::operator new[](scan::kChunk, kAlignment)),
                    [](char* p) { ::operator delete[](p, kAlignment); });
                const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0) {
                    std::perror("read() alone");
                    std::exit(1);
                }
                while (read(fd, buffer.get(), scan::kChunk) > 0) {
                }
                close(fd);
                return Counts{};
            }};
}

Method toolMethod(const std::string& command, const fs::path& file, std::int32_t target) {
    // The target after -e: it may start with a minus.
    const std::string line =
        command + " -e " + std::to_string(target) + " '" + file.string() + "' 2>/dev/null";
    return {command, [line](Run) {
                FILE* child = popen(line.c_str(), "r");
                long long lines = -1;
                if (child == nullptr || std::fscanf(child, "%lld", &lines) != 1) {
                    lines = -1;
                }
                if (child != nullptr) {
                    pclose(child);
                }
                return Counts{{}, lines, {}};
            }};
}

Method freshMemoryMethod(const fs::path& file, std::int32_t target, unsigned threads,
                         bool largePages) {
    // Read once, by the checking run, and kept for the timed ones.
    auto numbers = std::make_shared<std::vector<std::int32_t>>();
    return {std::string("fresh memory only") + (largePages ? ", 2 MiB pages" : "") +
                (threads == 1 ? "" : ", " + std::to_string(threads) + " threads"),
            [file, target, numbers, threads, largePages](Run run) {
                if (run == Run::checking) {
                    std::ifstream in(file);
                    *numbers = plainList(in);
                }
                NumberList copy;
                copy.reserve(numbers->size());
                if (largePages) {
                    markForLargePages(copy.data(), copy.capacity() * sizeof(std::int32_t));
                }
                if (threads == 1) {
                    appendNumbers(copy, numbers->data(), numbers->size());
                    return listCounts(copy, target, run);
                }
                // In parts of 256 KiB of numbers, as the split load stores them.
                copy.resize(numbers->size());
                constexpr std::size_t kPart = std::size_t{64} << 10;
                std::atomic<std::size_t> next{0};
                std::vector<std::thread> writers;
                for (unsigned t = 0; t < threads; ++t) {
                    writers.emplace_back([&] {
                        for (std::size_t at = next.fetch_add(kPart); at < copy.size();
                             at = next.fetch_add(kPart)) {
                            const std::size_t n = std::min(kPart, copy.size() - at);
                            supplyPagesNow(copy.data() + at, n * sizeof(std::int32_t));
                            std::copy_n(numbers->data() + at, n, copy.data() + at);
                        }
                    });
                }
                for (std::thread& writer : writers) {
                    writer.join();
                }
                return listCounts(copy, target, run);
            }};
}
