// The scanner's internals shared by its driver and its vector kernels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "search/numberScanner.h"

namespace scan_detail {

// The reference reader: runs the state machine over [p, end) and returns where
// it stopped: at `end`, at the first byte of a bad token (state.failed), or,
// with `oneToken`, right after the first token that it finished.
const char* runMachine(ScanState& s, const char* p, const char* end, std::int32_t*& out,
                       bool oneToken);

// Read sizes. A file is read in small chunks first, so that a small file
// needs little memory; once a read fills a chunk, in large ones: large enough
// that the read calls cost nothing next to the parsing, small enough to stay
// in the second-level cache.
constexpr std::size_t kFirstChunk = std::size_t{1} << 16;
constexpr std::size_t kChunk = std::size_t{1} << 20;

// Bytes indexed at a time. The index of a window stays in the first-level
// cache, and a window is the most work lost when an unusual byte sends the
// rest of it to the state machine.
constexpr std::size_t kWindow = 8192;

// Where the tokens of a window start and end, as offsets from its start.
struct TokenIndex {
    // 8 entries of slack: offsets are written eight at a time.
    std::uint32_t starts[kWindow / 2 + 1 + 8];
    std::uint32_t ends[kWindow / 2 + 1 + 8];
    std::uint32_t startCount, endCount;
    std::uint32_t unusual;   // offset of the first unusual byte, or ~0
    std::uint64_t newlines;  // newlines in the window, when nothing was unusual
};

// The number a counting scan looks for, in its canonical text: no "+", no
// leading zeros, "-" only before a digit other than 0.
struct CountTarget {
    char text[16];
    unsigned length;
};

struct Tally {
    std::int64_t numbers;
    std::int64_t matches;
};

// Reads the tokens of [p, end), appending their values to `out`. Returns where
// it stopped, as runMachine does. At least 64 bytes from `end` on must be
// readable white space, and 16 before `p` readable.
using ScanChunk = const char* (*)(ScanState&, const char*, const char*, std::int32_t*&,
                                  TokenIndex&);
// As ScanChunk, but plain numbers are only counted into `tally`, and compared
// with `target` as text; only the others are appended to `out`.
using CountChunk = const char* (*)(ScanState&, const char*, const char*, std::int32_t*&,
                                   TokenIndex&, const CountTarget&, Tally&);

// Runs the baseline kernels even where AVX2 is there, so that the tests and
// the benchmark reach them on any machine.
extern bool forceBaselineKernels;

// The kernels, one per instruction set; the AVX2 ones exist on x86-64 only.
namespace baseline {
const char* scanChunk(ScanState&, const char*, const char*, std::int32_t*&, TokenIndex&);
const char* countChunk(ScanState&, const char*, const char*, std::int32_t*&, TokenIndex&,
                       const CountTarget&, Tally&);
}  // namespace baseline
namespace avx2 {
const char* scanChunk(ScanState&, const char*, const char*, std::int32_t*&, TokenIndex&);
const char* countChunk(ScanState&, const char*, const char*, std::int32_t*&, TokenIndex&,
                       const CountTarget&, Tally&);
}  // namespace avx2

}  // namespace scan_detail
