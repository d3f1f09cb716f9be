// What the scanner's windows of plain numbers share, written once against
// the vector primitives of scan/simd/ and included by each kernel after
// scan/generic/kernel.h: every test of a 64-byte block looks back, never
// into the next block, so a block needs a few masks carried from the one
// before and nothing of the next.
// (doc/performance.md tells what it costs, and the look-ahead window it
// replaced.)
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "scan/generic/kernel.h"

namespace scan {
namespace {
namespace lookBack {

// Bit i of the result is bit i - k of the 128-bit pair (x:previous), 0 < k <
// 64: for each byte, the bit of the byte k places before it, reaching back
// into the previous block.
template <unsigned k>
inline uint64_t behind(uint64_t x, uint64_t previous) {
    return (x << k) | (previous >> (64 - k));
}

// What a block leaves for the next: the masks that tests reaching back into
// it need. Before the window there is only white space. And whether the
// window's white space has been newlines alone so far (see tokensOf).
struct LookBackCarry {
    uint64_t space = ~uint64_t{0}, digit = 0, run2 = 0, run4 = 0, minus = 0, zeroStarts = 0;
    bool newlinesOnly = true;
};

// A block as both windows first see it: its masks within the window (past
// the window's end every byte counts as white space), the first byte of each
// token and the white space right after each one, and the bytes that no plain
// token holds: an unusual byte or "+", and a minus inside a token. Its
// newlines are counted into `lines`.
//
// Most files separate their numbers by newlines alone, and there a block's
// white space is its newlines, which are counted anyway: with vectors of 16
// bytes or fewer the white-space test is made only once a block holds a byte
// that is neither a newline, a digit nor a minus, and for the rest of the
// window after it. The portable kernel, where that test is a dozen
// operations on each eight bytes, counts and loads a sixth faster for it,
// and SSE2 a few percent; with AVX2 and AVX-512, whose test is a shuffle and
// a compare a vector, the check cost as much as it saved. Whatever the
// newlines-only guess misses is no plain token, and declines the window,
// never misreads it.
struct BlockTokens {
    uint64_t space, digit, minus, zero, afterSpace, starts, ends, notPlain;
};
__attribute__((always_inline)) inline BlockTokens tokensOf(const char* q, uint64_t valid,
                                                           LookBackCarry& was, uint64_t& lines) {
    const Block m = classify(q);
    BlockTokens t;
    t.digit = m.digit & valid;
    t.minus = m.minus & valid;
    t.zero = m.zero;
    const uint64_t newline = m.newline & valid;
    lines += countOnes(newline);
    t.space = newline | ~valid;
    if (kVecBytes >= 32 || !was.newlinesOnly || (t.space | t.digit | t.minus) != ~uint64_t{0}) {
        was.newlinesOnly = false;
        t.space = blockMask(q, [](const char* at) { return whiteSpace(load(at)); }) | ~valid;
    }
    t.afterSpace = behind<1>(t.space, was.space);
    t.starts = ~t.space & t.afterSpace;
    t.ends = t.space & ~t.afterSpace;
    t.notPlain = ~(t.space | t.digit | t.minus) | (t.minus & ~t.starts);
    return t;
}

// Runs `block` over the blocks of a window of `size` bytes, each with its
// offset and which of its bytes lie in the window: all of them but in the
// last, so that the masks of whole blocks cost nothing. Stops early once
// `goOn` says so, which it asks every 16 blocks: asked at every block, the
// branch cost more than it saved.
template <typename EachBlock, typename GoOn>
__attribute__((always_inline)) inline void eachBlock(size_t size, EachBlock block, GoOn goOn) {
    const auto whole = static_cast<uint32_t>(size & ~size_t{63});
    uint32_t base = 0;
    while (base < whole) {
        const uint32_t stop = whole - base > 1024 ? base + 1024 : whole;
        for (; base < stop; base += 64) {
            block(base, ~uint64_t{0});
        }
        if (!goOn()) {
            return;
        }
    }
    if (base < size) {
        block(base, validBits(size, base));
    }
}

}  // namespace lookBack
}  // namespace
}  // namespace scan
