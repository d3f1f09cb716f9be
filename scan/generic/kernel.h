// The scanner's kernel, written once against the vector primitives of
// scan/simd/: each scan/kernel_*.cc includes one set of primitives, then
// this, and so compiles it for that instruction set alone.
//
// A chunk is read a window (8 KiB) at a time, cut at white space. A window
// of plain numbers is read by the count's window (scan/generic/countWindow.h),
// which compares them with the target as text and converts nothing, or the
// load's (scan/generic/loadWindow.h), which converts them several at a time;
// both check each 64-byte block with tests that look back, never ahead
// (scan/generic/lookBack.h). A window either declines goes to the value path
// here: its tokens indexed from block masks, then each plain one converted
// on its own, up to the first unusual token (a bad byte, a lone sign, "+",
// 11 or more digits, a token cut by the window), which the byte-at-a-time
// machine reads with the rest of the window, as it is always right.
//
// Everything here has internal linkage, and the kernel files are compiled
// without the C++ library: no function built for one instruction set can be
// picked by the linker for another.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "scan/kernel.h"
#include "scan/machine.h"

namespace scan {
namespace {

constexpr uint32_t kNone = ~uint32_t{0};

inline unsigned firstOne(uint64_t mask) {
    return static_cast<unsigned>(__builtin_ctzll(mask));
}
inline uint64_t countOnes(uint64_t mask) {
#if defined(__x86_64__) && !defined(__POPCNT__)
    // Without POPCNT (the SSE2 and portable kernels), GCC calls a library
    // routine; summed in place, in pairs, fours and eights, the SSE2 count
    // ran 5% faster. (With POPCNT it ran 17% faster, but processors of
    // before 2008 lack it, and SSE2 is the kernel that runs on every one.)
    mask -= (mask >> 1) & 0x5555555555555555;
    mask = (mask & 0x3333333333333333) + ((mask >> 2) & 0x3333333333333333);
    mask = (mask + (mask >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return (mask * 0x0101010101010101) >> 56;
#else
    return static_cast<uint64_t>(__builtin_popcountll(mask));
#endif
}
inline uint64_t newlinesIn(const char* p, const char* end) {
    uint64_t count = 0;
    for (; p < end; ++p) {
        count += *p == '\n';
    }
    return count;
}
// The bytes of [p, end) that the next window covers.
inline size_t windowAt(const char* p, const char* end) {
    const auto left = static_cast<size_t>(end - p);
    return left < kWindow ? left : kWindow;
}
// Which of a block's 64 bits lie before the window's end.
inline uint64_t validBits(size_t size, uint32_t base) {
    return size - base >= 64 ? ~uint64_t{0} : (uint64_t{1} << (size - base)) - 1;
}

// Compares of a vector's bytes, as blockBitsOf reads them: a vector of
// all-ones bytes or, with AVX-512, a mask.
inline auto digitBytes(Vec bytes) {
    return inRange<'0', '9'>(bytes);
}
inline auto oneToNineBytes(Vec bytes) {
    return inRange<'1', '9'>(bytes);
}
// Eight bytes at a time (SWAR), a range of one byte value is cheaper than an
// equality: the ranges of the same bytes share their first steps, and the
// portable count ran 9% faster for it.
template <char c>
inline auto is(Vec bytes) {
    if constexpr (kVecBytes == 8) {
        return inRange<c, c>(bytes);
    } else {
        return equal(bytes, splat(c));
    }
}
template <char c>
inline auto above(Vec bytes) {
    return less(splat(c), bytes);
}

// The 64-bit mask of a test of the block at `q`, bit i for byte i:
// `test(at)` compares the bytes of the vector at `at`, and may load those a
// few places before them, so that byte i of each load belongs to the same
// place. Tests are joined in vector registers before their one movemask: on
// every instruction set but AVX-512 it is the movemask that costs.
template <typename Test>
__attribute__((always_inline)) inline uint64_t blockMask(const char* q, Test test) {
    decltype(test(q)) compares[64 / kVecBytes];
    for (unsigned k = 0; k < 64 / kVecBytes; ++k) {
        compares[k] = test(q + k * kVecBytes);
    }
    return blockBitsOf(compares);
}

// Bit masks of 64 bytes: bit i describes byte i of the block.
struct Block {
    uint64_t space, digit, minus, plus, newline, zero;
};

// Masks the caller does not use are dead code once this is inlined.
// Each vector is loaded once and given all its tests before the next: mask
// by mask, with every vector loaded for each, the SSE2 load ran 4% slower.
__attribute__((always_inline)) inline Block classify(const char* p) {
    using Compare = decltype(digitBytes(load(p)));
    constexpr unsigned kVectors = 64 / kVecBytes;
    Compare space[kVectors], digit[kVectors], minus[kVectors], plus[kVectors], newline[kVectors],
        zero[kVectors];
    for (unsigned k = 0; k < kVectors; ++k) {
        const Vec bytes = load(p + k * kVecBytes);
        space[k] = whiteSpace(bytes);
        digit[k] = digitBytes(bytes);
        minus[k] = is<'-'>(bytes);
        plus[k] = is<'+'>(bytes);
        newline[k] = is<'\n'>(bytes);
        zero[k] = is<'0'>(bytes);
    }
    return {blockBitsOf(space), blockBitsOf(digit),   blockBitsOf(minus),
            blockBitsOf(plus),  blockBitsOf(newline), blockBitsOf(zero)};
}

// The first stage of the value path: finds the tokens of [p, p + size) from
// block masks alone, so that no block waits for the one before it. `p` must
// be at white space or at the start of a token. A byte is unusual when it is
// neither white space nor a digit nor a sign that starts a token; indexing
// stops in its block, since the state machine takes over there.
inline void indexTokens(const char* p, size_t size, TokenIndex& ix) {
    ix.startCount = ix.endCount = 0;
    ix.unusual = kNone;
    ix.newlines = 0;
    uint64_t previousSpace = 1;
    for (uint32_t base = 0; base < size; base += 64) {
        const Block m = classify(p + base);
        const uint64_t valid = validBits(size, base);
        const uint64_t afterSpace = (m.space << 1) | previousSpace;
        previousSpace = m.space >> 63;
        const uint64_t starts = ~m.space & afterSpace & valid;
        const uint64_t ends = m.space & ~afterSpace & valid;
        const uint64_t unusual = ~m.space & ~m.digit & ~((m.minus | m.plus) & starts) & valid;
        appendOffsets(starts, base, ix.starts, ix.startCount);
        appendOffsets(ends, base, ix.ends, ix.endCount);
        ix.newlines += countOnes(m.newline & valid);
        if (unusual != 0) {
            ix.unusual = base + firstOne(unusual);
            return;
        }
    }
}

// Runs `window` over [p, end) a window at a time, each time with where the
// window starts and its size; it returns where the next one starts. A token
// left open between two windows is read to its end by the state machine
// first. Returns where the reading stopped, as runMachine does.
template <typename Window>
const char* eachWindow(ScanState& s, const char* p, const char* end, int32_t*& out, Window window) {
    while (p < end) {
        if (s.phase != ScanState::betweenTokens) {
            p = runMachine(s, p, end, out, true);
        } else {
            p = window(p, windowAt(p, end));
        }
        if (s.failed) {
            return p;
        }
    }
    return end;
}

// The value path: reads the tokens of [p, end) a window at a time, indexing
// the window, then converting its plain tokens (a sign, then 1 to 10 digits)
// each on its own. A token that is anything else, and the rest of its window,
// go to the state machine.
const char* scanChunk(ScanState& s, const char* p, const char* end, int32_t*& out, TokenIndex& ix) {
    return eachWindow(s, p, end, out, [&](const char* at, size_t size) {
        indexTokens(at, size, ix);
        uint32_t i = 0;
        for (; i < ix.endCount; ++i) {
            const uint32_t start = ix.starts[i];
            const uint32_t stop = ix.ends[i];
            // Bitwise, not ||: the sign of random numbers is a coin toss that
            // no branch predictor wins.
            const auto first = static_cast<unsigned char>(at[start]);
            const unsigned negative = first == '-';
            const unsigned sign = negative | (first == '+');
            const unsigned digits = stop - start - sign;
            if (stop > ix.unusual || digits - 1 >= 10) {
                break;
            }
            const uint64_t magnitude = digitValue(at + stop, digits);
            if (beyondRange(magnitude, negative)) {
                s.failed = true;
                s.tokenLine = s.line + newlinesIn(at, at + start);
                s.tokenStart = at + start;
                return at + start;
            }
            *out++ = signedValue(magnitude, negative);
        }
        if (i < ix.endCount || ix.unusual != kNone) {
            // An unusual token, or one after an unusual byte: the state
            // machine reads the rest of the window.
            s.line += newlinesIn(at, at + ix.starts[i]);
            return runMachine(s, at + ix.starts[i], at + size, out, false);
        }
        s.line += ix.newlines;
        if (i == ix.startCount) {
            return at + size;
        }
        if (ix.starts[i] != 0) {
            return at + ix.starts[i];  // a token cut off by the window's end opens the next one
        }
        // A token as long as a window, or one that reaches `end`: the state
        // machine reads it without limit.
        return runMachine(s, at, end, out, true);
    });
}

// Eight bytes as a number whose order is the order of their texts.
inline uint64_t textOrder(const char* p) {
    return __builtin_bswap64(loadLittle(p));
}

// Whether ten digits lie beyond 2147483647, or 2147483648 after a minus:
// the first eight as one number, the last two as another, without a branch.
inline uint64_t beyondLimit(const char* digits, bool negative) {
    constexpr uint64_t head = 0x3231343734383336;  // "21474836"
    const uint64_t first = textOrder(digits);
    const auto last = static_cast<unsigned>(static_cast<unsigned char>(digits[8]) << 8 |
                                            static_cast<unsigned char>(digits[9]));
    const unsigned limit = ('4' << 8 | '7') + negative;
    return static_cast<uint64_t>(first > head) |
           static_cast<uint64_t>((first == head) & (last > limit));
}

// Where a window of [at, at + size) that ends in white space ends: no token
// is cut in two. A plain token is at most 11 bytes; a window without white
// space in its last 12 has a long token, or one cut by the chunk's end, and
// ends where it is: 0 is returned.
inline size_t whiteSpaceCut(const char* at, size_t size) {
    size_t cut = size;
    while (cut > 0 && size - cut < 12 && !isSpace(static_cast<unsigned char>(at[cut - 1]))) {
        --cut;
    }
    return cut > 0 && isSpace(static_cast<unsigned char>(at[cut - 1])) ? cut : 0;
}

// Reads [p, end) a window at a time: each first by `plain`, given the window
// cut at white space, which reads it if it holds only plain numbers and
// otherwise declines it (returns false); a declined window goes through the
// value path, its numbers to `out`.
template <typename Plain>
const char* plainWindowsFirst(ScanState& s, const char* p, const char* end, int32_t*& out,
                              TokenIndex& ix, Plain plain) {
    return eachWindow(s, p, end, out, [&](const char* at, size_t size) {
        const size_t cut = whiteSpaceCut(at, size);
        uint64_t newlines = 0;
        if (cut != 0 && plain(at, cut, newlines)) {
            s.line += newlines;
            return at + cut;
        }
        return scanChunk(s, at, at + (cut != 0 ? cut : size), out, ix);
    });
}

using CountWindow = bool (*)(const char*, size_t, const CountTarget&, Tally&, uint64_t&);

// The counting path: counts the tokens of [p, end) with `countWindow` (a
// kernel may bring its own), comparing them with the target as text.
template <CountWindow countWindow>
const char* countChunkWith(ScanState& s, const char* p, const char* end, int32_t*& out,
                           TokenIndex& ix, const CountTarget& target, Tally& tally) {
    return plainWindowsFirst(s, p, end, out, ix, [&](const char* at, size_t size, uint64_t& lines) {
        return countWindow(at, size, target, tally, lines);
    });
}

using ScanWindow = bool (*)(const char*, size_t, int32_t*&, TokenIndex&, uint64_t&);

// The value path with a kernel's own reader of plain windows.
template <ScanWindow scanWindow>
const char* scanChunkWith(ScanState& s, const char* p, const char* end, int32_t*& out,
                          TokenIndex& ix) {
    return plainWindowsFirst(s, p, end, out, ix, [&](const char* at, size_t size, uint64_t& lines) {
        return scanWindow(at, size, out, ix, lines);
    });
}

// The kernel's side of its contract with the driver: the chunk readers
// above, which leave why they stopped in the state and move `out` along,
// answering as ChunkEnd says.
template <auto scan>
ChunkEnd scanEntry(ScanState& s, const char* p, const char* end, int32_t* out, TokenIndex& ix) {
    const char* stop = scan(s, p, end, out, ix);
    return {stop, out, s.failed};
}
template <auto count>
ChunkEnd countEntry(ScanState& s, const char* p, const char* end, int32_t* out, TokenIndex& ix,
                    const CountTarget& target, Tally& tally) {
    const char* stop = count(s, p, end, out, ix, target, tally);
    return {stop, out, s.failed};
}

}  // namespace
}  // namespace scan
