// What the x86-64 sets share: the eight positions of a byte of a mask written
// with their offset in one SSE2 addition, a vector the compiler may not build
// again, and the tables that AVX2 and AVX-512 find white space and plain
// blocks' flags by.
#pragma once

#include <emmintrin.h>
#include <stdint.h>

namespace scan {
namespace {

inline void writeEightBySse2(const uint16_t* from, uint32_t offset, uint16_t* to) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                     _mm_add_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(from)),
                                   _mm_set1_epi16(static_cast<short>(offset))));
}

// `v`, opaque to the compiler, which then keeps it: a splat of a constant
// byte that a loop needs at every block, GCC would otherwise build again at
// every block from a general register, at the cost of a shuffle (the plain
// blocks took 3-4% longer so with AVX-512, up to 4% with AVX2). Opaque, it
// is made once before the loop, and kept in a register, or in memory where
// registers run short.
template <typename Vec>
inline Vec opaque(Vec v) {
    __asm__("" : "+v"(v));
    return v;
}

// For a lookup of each byte by its low four bits (pshufb), a row for each
// 16-byte lane of up to 64 bytes: a white-space byte finds itself there, any
// other byte below 0x80 finds another byte, and one of 0x80 or more, which
// the lookup answers with zero, finds a zero.
struct SpaceLookup {
    alignas(64) char lanes[64];
};
constexpr SpaceLookup makeSpaceLookup() {
    SpaceLookup table{};
    constexpr char kSpaces[] = " \t\n\v\f\r";
    for (unsigned lane = 0; lane < 64; lane += 16) {
        for (unsigned i = 0; i + 1 < sizeof kSpaces; ++i) {
            table.lanes[lane + (kSpaces[i] & 15)] = kSpaces[i];
        }
    }
    return table;
}
constexpr SpaceLookup kSpaceLookup = makeSpaceLookup();

// A plain block's flags (see PlainMasks in scan/simd/surface.h), with which
// AVX-512 and AVX2 check it: each byte's flags are three lookups joined, of
// the byte itself, of the byte before it and of the byte two before, and a
// flag holds where all three give it, so that each is a test of up to three
// bytes in a row.
enum PlainFlag : char {
    kOther = 1,        // a byte other than a digit, a newline or a minus
    kMinusInside = 2,  // a minus after anything but a newline
    kAfterMinus = 4,   // anything but 1 to 9 after a minus
    kLeadingZero = 8,  // a digit after a zero after a newline (after a minus, kAfterMinus)
    kRun3 = 16,        // a digit after two digits
    // The second digit of a token whose digits start with 3 to 9 (kHigh), or
    // with 22 to 29 (kHigh2).
    kHigh = 32,
    kHigh2 = 64,
    kHigh21 = -128,  // a digit 4 to 9 after "21": the sign bit, a mask in one instruction
};
// The flags that `byte` gives by its lookup `back` bytes before the byte
// flagged (0, 1 or 2).
constexpr char plainFlagsOf(unsigned char byte, unsigned back) {
    const bool newline = byte == '\n', minus = byte == '-', zero = byte == '0';
    const bool digit = byte >= '0' && byte <= '9';
    int flags = 0;
    const auto flag = [&](PlainFlag f, bool bySelf, bool byBefore, bool byTwoBefore) {
        flags |= (back == 0 ? bySelf : back == 1 ? byBefore : byTwoBefore) ? f : 0;
    };
    flag(kOther, !newline && !minus && !digit, true, true);
    flag(kMinusInside, minus, !newline, true);
    flag(kAfterMinus, !digit || zero, minus, true);
    flag(kLeadingZero, digit, zero, newline);
    flag(kRun3, digit, digit, digit);
    flag(kHigh, true, byte >= '3' && byte <= '9', newline || minus);
    flag(kHigh2, byte >= '2' && byte <= '9', byte == '2', newline || minus);
    flag(kHigh21, byte >= '4' && byte <= '9', byte == '1', byte == '2');
    return static_cast<char>(flags);
}

}  // namespace
}  // namespace scan
