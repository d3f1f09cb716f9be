// The load's window: plain numbers converted, several at a time where the
// instruction set can (see scan/generic/lookBack.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "scan/generic/lookBack.h"

namespace scan {
namespace {
namespace lookBack {

// Reads the window [p, p + size), which ends in white space, appending its
// numbers to `out` and counting its newlines into `newlines`, when it holds
// nothing but tokens of digits after an optional minus, each at most ten
// digits and within the 32-bit range; otherwise returns false, having
// appended nothing. Leading zeros and "-0" convert as `>>` reads them, so
// unlike the count, this window takes them.
//
// The blocks are checked first, noting where each token's digits start and
// where it ends, which alternate, in one index (appendBounds); then the
// instruction set's convertTokens converts the tokens, several at a time
// where it can, and checks their lengths and ranges. Reads up to 64 bytes
// past the window, and 16 before it.
__attribute__((noinline)) bool scanWindowLookBack(const char* p, size_t size, int32_t*& out,
                                                  TokenIndex& ix, uint64_t& newlines) {
    LookBackCarry was;
    uint64_t unplain = 0, lines = 0;
    uint32_t bounds = 0;
    eachBlock(
        size,
        [&](uint32_t base, uint64_t valid) __attribute__((always_inline)) {
            const BlockTokens tokens = tokensOf(p + base, valid, was, lines);
            unplain |=
                tokens.notPlain |  // an unusual byte, "+", a minus inside a token
                (behind<1>(tokens.minus, was.minus) & ~tokens.digit);  // a lone sign, or "--"
            appendBounds(tokens.ends | (tokens.digit & ~behind<1>(tokens.digit, was.digit)), base,
                         ix.bounds, bounds);
            was.space = tokens.space;
            was.digit = tokens.digit;
            was.minus = tokens.minus;
        },
        [&] { return unplain == 0; });
    if (unplain != 0) {
        return false;
    }
    // convertTokens may read a few tokens past the count: there, tokens of
    // no digits.
    for (uint32_t k = bounds; k < bounds + 14; k++) {
        ix.bounds[k] = 1;
    }
    const uint32_t count = bounds / 2;
    if (!convertTokens(p, ix.bounds, count, out)) {
        return false;
    }
    out += count;
    newlines = lines;
    return true;
}

}  // namespace lookBack
using lookBack::scanWindowLookBack;
}  // namespace
}  // namespace scan
