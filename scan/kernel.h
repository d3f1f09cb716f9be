// What a vector kernel of the scanner is: the two functions every instruction
// set provides, and the scratch space and tallies they share with the driver.
//
// Included by the kernels, so C headers only (see scan/machine.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "scan/machine.h"

namespace scan {

// Read sizes. A file is read in small chunks first, so that a small file
// needs little memory; once a read fills a chunk, in larger ones: large
// enough that the read calls cost nothing next to the parsing, and a quarter
// of the second-level cache (1 MiB here), so that a chunk is still in it when
// the kernel reads what read() copied. 1 MiB chunks were 1-2% slower.
constexpr size_t kFirstChunk = size_t{1} << 16;
constexpr size_t kChunk = size_t{1} << 18;

// Bytes indexed at a time. The index of a window stays in the first-level
// cache, and a window is the most work lost when an unusual byte sends the
// rest of it to the state machine.
constexpr size_t kWindow = 8192;

// Where the tokens of a window start and end, as offsets from its start.
struct TokenIndex {
    // 64 entries of slack: offsets are written 8 at a time (with AVX-512, 16),
    // whatever a block holds.
    uint32_t starts[kWindow / 2 + 1 + 64];
    uint32_t ends[kWindow / 2 + 1 + 64];
    // The same in turn (a token's start, then its end), as 16-bit offsets,
    // which every kernel's windows write (AVX-512's 32 at a time) and
    // convert from.
    uint16_t bounds[kWindow + 2 + 64];
    uint32_t startCount, endCount;
    uint32_t unusual;   // offset of the first unusual byte, or ~0
    uint64_t newlines;  // newlines in the window, when nothing was unusual
};

// The number a counting scan looks for, in its canonical text: no "+", no
// leading zeros, "-" only before a digit other than 0.
struct CountTarget {
    char text[16];
    unsigned length;
};

struct Tally {
    int64_t numbers;
    int64_t matches;
};

// What a kernel's reading of [p, end) came to, in the manner of
// std::from_chars: where it stopped, why, and where its numbers end.
struct ChunkEnd {
    const char* stop;  // `end`, or where in the token that stopped it the reading did
    int32_t* out;      // one past the last number it appended
    bool badToken;     // a token that is not a 32-bit number stopped it at `stop`
};

// Reads the tokens of [p, end), appending their values from `out` on. A token
// still open at `end` stays open in the state, which also keeps the line
// numbers and, for a bad token, where it began (tokenStart, when in this
// piece) and its line (tokenLine). At least 256 bytes from
// `end` on must be readable white space, and 16 before `p` readable.
using ScanChunk = ChunkEnd (*)(ScanState&, const char* p, const char* end, int32_t* out,
                               TokenIndex&);
// As ScanChunk, but plain numbers are only counted into the tally, and
// compared with the target as text; only the others are appended.
using CountChunk = ChunkEnd (*)(ScanState&, const char* p, const char* end, int32_t* out,
                                TokenIndex&, const CountTarget&, Tally&);

}  // namespace scan

// One kernel: its name, as tests and the benchmark ask for it, and its code.
struct ScanKernel {
    const char* name;
    scan::ScanChunk scan;
    scan::CountChunk count;
};
