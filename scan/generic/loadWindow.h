// The load's window: numbers converted, several at a time where the
// instruction set can.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "scan/generic/blocks.h"

namespace scan {
namespace {

// Notes, block by block (see readBlocks), where each token's digits start
// and where it ends, which alternate, in one index for convertTokens. It
// cannot take a token with an unusual byte, a "+", a lone sign or a minus
// inside; it takes leading zeros and "-0", which convert as `>>` reads them,
// and leaves the length and the range to convertTokens.
template <typename Set>
struct LoadReader {
    uint16_t* bounds;
    ptrdiff_t ahead;  // see askAhead
    uint32_t count = 0;

    template <bool kMinusFree>
    __attribute__((always_inline)) uint64_t unusual(const char*, const BlockTokens& t,
                                                    const Carry& was) const {
        // A lone sign, or "--"; without minus signs (read so only after a
        // block without any), none.
        const uint64_t afterMinus = kMinusFree ? 0 : behind<1>(t.minus, was.minus);
        return t.notPlain | (afterMinus & ~t.digit);
    }
    __attribute__((always_inline)) void take(const char*, uint32_t base, const BlockTokens& t,
                                             const Carry& was) {
        Set::appendBounds(t.ends | (t.digit & ~behind<1>(t.digit, was.digit)), base, bounds, count);
    }
    // A token's digits may have started: its first bound goes.
    void dropOpenToken() { count &= ~1u; }
};

// Reads the numbers of the window [p, p + size), which ends in white space,
// into `out`, moving it along, up to the first token that is not an optional
// minus and at most ten digits within the 32-bit range; returns that token's
// offset, or `size`, with the newlines before it in `newlines`. `bounds` is
// scratch room for size + 80 entries.
template <typename Set>
__attribute__((noinline)) size_t loadWindow(const char* p, size_t size, int32_t*& out,
                                            uint16_t* bounds, ptrdiff_t ahead, uint64_t& newlines) {
    LoadReader<Set> reader{bounds, ahead};
    const size_t stop = readBlocks<Set>(p, size, reader, newlines);
    // convertTokens may read a few tokens past the count: there, tokens of no
    // digits.
    for (uint32_t k = reader.count; k < reader.count + 14; k++) {
        bounds[k] = 1;
    }
    const uint32_t count = reader.count / 2;
    const uint32_t converted = Set::convertTokens(p, bounds, count, out);
    out += converted;
    if (converted == count) {
        return stop;
    }
    // Too long or beyond the range: the window ends at the token's sign, or
    // its first digit, and so do its newlines.
    const unsigned digits = bounds[2 * converted];
    const size_t start = digits - ((p + digits)[-1] == '-' ? 1u : 0u);
    for (const char* c = p + start; c < p + stop; ++c) {
        newlines -= *c == '\n' ? 1u : 0u;
    }
    return start;
}

}  // namespace
}  // namespace scan
