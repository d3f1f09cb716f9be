// The oracle the number-file scanner is checked against, the plain `>> int32_t`
// loop, and the scanner's kernels read the same way, for comparison with it.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "scan/numberScanner.h"

// How a number file reads: its numbers, why the reading stopped, where, and
// which token stopped it.
struct Reading {
    std::vector<std::int32_t> values;
    scan::ScanStop stop = scan::ScanStop::endOfFile;
    std::uint64_t line = 0;
    std::string token;
    bool tokenCut = false;

    bool operator==(const Reading& o) const;
};

// For test failure messages.
std::ostream& operator<<(std::ostream& os, const Reading& r);

// Reads `text` with the plain extraction loop. Where an extraction fails, the
// bad token begins at the first byte that is not white space and runs to the
// next white space; if there is none, the file simply ended.
Reading plainLoop(const std::string& text);

// What the plain loop counts in a stream: its numbers and those equal to `target`.
struct PlainCount {
    std::int64_t numbers = 0;
    std::int64_t matches = 0;
};
PlainCount plainCount(std::istream& in, std::int32_t target);

// The numbers of a stream, appended one at a time as the plain loop reads them.
std::vector<std::int32_t> plainList(std::istream& in);

// How `text`, or what `in` holds, reads with scanNumbers and `kernel`.
Reading readWithKernel(const std::string& text, const scan::ScanKernel& kernel);
Reading readWithKernel(std::streambuf& in, const scan::ScanKernel& kernel);

// What a count of `target` found: as a Reading whose values are the two
// counts, the numbers read and those equal to the target.
Reading countWithKernel(const std::string& text, std::int32_t target,
                        const scan::ScanKernel& kernel);
// What countWithKernel must find, given the plain loop's reading of the text.
Reading expectedCount(const Reading& plain, std::int32_t target);

// Ends the process at once when `holds` is false: how a fuzzer reports a
// fault, so that libFuzzer keeps the input.
void check(bool holds);
