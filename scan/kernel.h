// The contract between the scanner's driver (scan/numberScanner.cc) and its
// kernels, one for each instruction set (scan/kernel_*.cc): each reads
// windows of a chunk's text that the driver cuts, fast, up to the first token
// it cannot take, which the driver hands to the byte machine (scan/machine.h).
//
// Included by the kernels, so C headers only (see scan/machine.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace scan {

// The number a count looks for, in its canonical text: no "+", no leading
// zeros, "-" only before a digit other than 0. A token in canonical text is
// equal to the target exactly when its text is.
struct CountTarget {
    char text[16];
    unsigned length;
};

struct Tally {
    int64_t numbers;
    int64_t matches;
};

// A window is the text [p, p + size), which ends in white space (or is
// empty); 64 bytes after it must be readable, and before it, the bytes from
// 16 before the 64-byte boundary at or below p. A reader of
// windows takes plain tokens, a minus or nothing and then one to ten digits
// within the 32-bit range, and stops at the first token it cannot take: it
// returns that token's offset, or `size`, having taken every token before
// it, and sets `newlines` to the newlines before that offset.

// As a reader of windows reads each 64 bytes, it has the memory bring the
// cache line `ahead` bytes past them into the cache (a prefetch, which never
// faults, and is never read): the same place in the bytes of the file that
// the next read() will copy, or 0, the window itself.

// Reads the plain numbers of a window into `out`, moving it along. `bounds`
// is scratch room for size + 80 entries.
using LoadWindow = size_t (*)(const char* p, size_t size, int32_t*& out, uint16_t* bounds,
                              ptrdiff_t ahead, uint64_t& newlines);
// Counts the plain numbers of a window that are in canonical text into
// `tally`, and those equal to the target.
using CountWindow = size_t (*)(const char* p, size_t size, const CountTarget& target,
                               ptrdiff_t ahead, Tally& tally, uint64_t& newlines);

// One kernel: its name, as tests and the benchmark ask for it, and its code.
struct ScanKernel {
    const char* name;
    LoadWindow load;
    CountWindow count;
};

}  // namespace scan
