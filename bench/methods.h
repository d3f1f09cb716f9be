// The ways of reading a number file that the benchmark times: the plain loops,
// needle's count and load with a chosen kernel, a bare read(), the text search
// tools, and storing the numbers in fresh memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "bench/timing.h"
#include "scan/numberScanner.h"
#include "search/sortedList.h"

// The linear search's plain twin: `while (file >> number)`, counting.
Method plainCountMethod(const std::filesystem::path& file, std::int32_t target);
// The binary search's plain twin: the same loop, appending with push_back.
Method plainLoadMethod(const std::filesystem::path& file, std::int32_t target);
// What the linear search runs: countNumbers with `kernel`.
Method needleCountMethod(const std::filesystem::path& file, std::int32_t target,
                         const scan::ScanKernel& kernel);
// What the linear search runs on a regular file with -j `threads`: the count
// split over that many threads.
Method needleSplitCountMethod(const std::filesystem::path& file, std::int32_t target,
                              const scan::ScanKernel& kernel, unsigned threads);
// The sorted list of `file` loaded with `kernel` as the binary search's first
// run loads it with -j `threads` (without the memory readings, which take
// microseconds): on one thread reading ahead in the file, on more split over
// them. loadSortedList itself reads ahead only in sortedNumbers.txt of the
// working directory, which it opens again by name.
NumberList loadOnThreads(const std::filesystem::path& file, const scan::ScanKernel& kernel,
                         unsigned threads);
// What the binary search's first run does with -j `threads`: loadOnThreads.
Method needleLoadMethod(const std::filesystem::path& file, std::int32_t target,
                        const scan::ScanKernel& kernel, unsigned threads);
// The file read into a 64-byte-aligned buffer in the scanner's chunk size,
// and nothing else: the copy that every count pays.
Method readAloneMethod(const std::filesystem::path& file);
// The same by `threads` threads at once, each a part of the file with pread:
// the ceiling of a count split as many ways.
Method readAloneSplitMethod(const std::filesystem::path& file, unsigned threads);
// A text search tool counting the lines equal to `target`: `command` (such as
// "rg -c -x -F") run through the shell as a whole process.
Method toolMethod(const std::string& command, const std::filesystem::path& file,
                  std::int32_t target);
// What no loader can beat here: storing the file's numbers in fresh memory,
// whose pages are supplied ahead as the load has them supplied; with
// `threads` above 1, each thread storing its part of the list at once, as
// the split load does: the ceiling of a load split as many ways. With
// `largePages`, the list is marked for 2 MiB pages whatever the system has
// free: what they cost where they stand ready.
Method freshMemoryMethod(const std::filesystem::path& file, std::int32_t target,
                         unsigned threads = 1, bool largePages = false);

// Whether `tool` is on the PATH.
bool installed(const std::string& tool);
