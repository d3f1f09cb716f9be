// The vector surface: every primitive the scanner's windows ask of an
// instruction set, each with its promise, and the defaults that most sets
// share.
//
// A set is a struct of static members that derives from Surface<itself>. It
// must define:
//   Vec                  kVecBytes bytes (16, 32 or 64; 8 for the portable set)
//   load(p)              the kVecBytes bytes at p, unaligned
//   splat(c)             c in every byte
//   equal(a, b)          a Compare: the bytes where a == b
//   less(a, b)           a Compare: the bytes where a < b, as signed bytes
//   plus(a, b)           bytewise sums, wrapping
//   either(x, y), both(x, y)   the union and the intersection of two Compares
//   bitsOf(x)            a Compare's bytes as bits, byte i to bit i (for
//                        the default blockBitsOf only)
// A Compare is whatever equal() and less() give: a vector of all-ones or zero
// bytes, or, with AVX-512, a 64-bit mask.
//
// A set that does a step better defines a member of the same name, which
// hides the default below: C++ looks a name up in the derived struct first.
// The defaults call the set's own members, as Set::name, so that an override
// of one primitive also serves every default built on it. A set ends with
// SURFACE_HOLDS(Set): the build fails where a member it must define is
// missing or of another type. (A misspelt override leaves the default in
// place: the same numbers, which the tests check, at the default's speed,
// which the benchmark shows kernel by kernel.)
//
// Everything here has internal linkage, as in every header a kernel
// includes (see scan/machine.h).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "scan/machine.h"

namespace scan {
namespace {

// For each byte value, the positions of its set bits, and how many.
struct BytePositions {
    alignas(16) uint16_t of[256][8];
    uint8_t count[256];
};
constexpr BytePositions makeBytePositions() {
    BytePositions table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned n = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((byte >> bit & 1) != 0) {
                table.of[byte][n++] = static_cast<uint16_t>(bit);
            }
        }
        table.count[byte] = static_cast<uint8_t>(n);
    }
    return table;
}
constexpr BytePositions kBytePositions = makeBytePositions();

// Which bytes of the 8 before a token's end hold its last n digits, and
// which of the two before those hold its first ones, for n from 0 to 15.
struct DigitBytes {
    uint64_t last[16];
    uint32_t firstTwo[16];
};
constexpr DigitBytes makeDigitBytes() {
    DigitBytes keep{};
    for (unsigned n = 1; n < 16; ++n) {
        keep.last[n] = n >= 8 ? ~uint64_t{0} : ~uint64_t{0} << (8 * (8 - n));
        keep.firstTwo[n] = n >= 10 ? 0xFFFF : n == 9 ? 0xFF00 : 0;
    }
    return keep;
}
constexpr DigitBytes kDigitBytes = makeDigitBytes();

// A plain block's masks, as the count's plain blocks take them (see
// CountReader::takePlainBlocks in scan/generic/countWindow.h): the bytes that
// show a token they cannot take (a byte other than a digit, a newline or a
// minus, a minus that does not start a token or is not followed by 1 to 9, a
// leading zero), the newlines and the newline after each token. For the
// range of ten-digit numbers, by default the digits right after a digit;
// where the set finds the masks from the bytes alone (kPlainMasks), the
// digits right after two digits, those same digits together with the second
// digit of each token whose digits start with 3 to 9 or with 22 to 29
// (`longStarts`), and each digit 4 to 9 right after "21" (`high21`): ten
// digits in a row that follow the first digit before one of longStarts, or
// the first two before one of high21, are more than ten, or they may lie
// beyond the 32-bit range. From bit planes, also the digits 2 to 9
// (`twoToNine`), which start the ten-digit numbers that may lie beyond it.
struct PlainMasks {
    uint64_t odd, newline, ends, run2, run3, longStarts, high21, twoToNine;
};

template <typename Set>
struct Surface {
    // Whether a compare can be masked, testing only the bytes a mask marks
    // (AVX-512): the count then narrows a mask in one instruction.
    static constexpr bool kMaskedCompares = false;
    // Whether a compare of a block's bytes costs less than a look at each of
    // the few tokens it concerns. Only eight bytes at a time, where a compare
    // is several operations a word, is it the other way round; such a set
    // also gives its blocks as bit planes (kBitPlanes), from which the count
    // narrows what it looks at token by token.
    static constexpr bool kCheapCompares = true;

    // The bytes equal to c.
    template <typename Vec>
    static auto is(Vec bytes, char c) {
        return Set::equal(bytes, Set::splat(c));
    }
    // The bytes from lo to hi, both below 0x80: shifted so that the range
    // starts at -128, then one signed less-than.
    template <typename Vec>
    static auto inRange(Vec bytes, char lo, char hi) {
        return Set::less(Set::plus(bytes, Set::splat(static_cast<char>(128 - lo))),
                         Set::splat(static_cast<char>(-128 + (hi - lo + 1))));
    }
    // White space as formatted extraction skips it: ' ' and \t \n \v \f \r
    // (9 to 13), by compares.
    template <typename Vec>
    static auto whiteSpace(Vec bytes) {
        return Set::either(Set::inRange(bytes, '\t', '\r'), Set::is(bytes, ' '));
    }
    // Whether whiteSpace() costs more than checking that a block holds only
    // newlines, digits and minus signs, as it does by compares: the windows
    // then skip it while they can (see tokensOf).
    static constexpr bool kCostlyWhiteSpace = true;
    // Whether the set gives a block's bytes as bit planes (planesOf(q), see
    // the portable set), from which classesOf takes a block's classes.
    static constexpr bool kBitPlanes = false;
    // Whether the set finds a plain block's masks but `ends` from its bytes
    // and the two before it, as plainMasks(q): the count's plain blocks then
    // carry only the newlines from block to block (by default they carry
    // more, see scan/generic/countWindow.h).
    static constexpr bool kPlainMasks = false;

    // The 64-bit mask of a block from the compares of its vectors, in order,
    // bit i for byte i: each read by bitsOf and shifted to its place.
    template <typename Compare, size_t n>
    static uint64_t blockBitsOf(const Compare (&compares)[n]) {
        uint64_t mask = 0;
        for (unsigned k = 0; k < n; ++k) {
            mask |= Set::bitsOf(compares[k]) << (k * (64 / n));
        }
        return mask;
    }

    // Writes the eight 16-bit positions at `from`, each plus `offset`, to
    // `to`: four at a time in a 64-bit word, where no sum carries into the
    // next.
    static void writeEight(const uint16_t* from, uint32_t offset, uint16_t* to) {
        const uint64_t offsets = offset * uint64_t{0x0001000100010001};
        uint64_t low, high;
        memcpy(&low, from, 8);
        memcpy(&high, from + 4, 8);
        low += offsets;
        high += offsets;
        memcpy(to, &low, 8);
        memcpy(to + 4, &high, 8);
    }
    // Appends the positions of the set bits of `bits`, plus `base`, to `out`
    // as 16-bit offsets, a byte of the mask at a time: its positions looked
    // up, and all eight written by writeEight whatever the byte holds, so
    // that no branch follows the data. May write up to 64 entries past the
    // new count. (A loop over the bits, whose length no branch predictor
    // follows, made the loads 4% slower on random numbers and a fifth on
    // short lines.)
    static void appendBounds(uint64_t bits, uint32_t base, uint16_t* out, uint32_t& count) {
        for (unsigned k = 0; k < 8; ++k) {
            const auto byte = static_cast<unsigned>(bits >> (8 * k)) & 0xFF;
            Set::writeEight(kBytePositions.of[byte], base + 8 * k, out + count);
            count += kBytePositions.count[byte];
        }
    }

    // Converts `count` tokens of the text at `p` into `out`: token i's digits
    // start at bounds[2i] and end at bounds[2i + 1], after a minus or white
    // space. Returns how many come before the first that has more than ten
    // digits (leading zeros included) or lies beyond the 32-bit range, all of
    // them if none does; writes no further than out[count - 1]. The fourteen
    // bounds after the count's must be 1 (for the sets that read ahead).
    // By default one at a time, but without a branch on any of them.
    static uint32_t convertTokens(const char* p, const uint16_t* bounds, uint32_t count,
                                  int32_t* out) {
        for (uint32_t i = 0; i < count; ++i) {
            const unsigned start = bounds[2 * i];
            const unsigned digits = bounds[2 * i + 1] - start;
            const unsigned negative = (p + start)[-1] == '-';
            const uint64_t magnitude = digitValue(p + start + digits, digits);
            out[i] = signedValue(magnitude, negative);
            if ((digits > 10) | beyondRange(magnitude, negative)) {
                return i;
            }
        }
        return count;
    }

    // The value of the n (0 to 10) digits that end just before `end`: the
    // last eight at a time in a 64-bit word, combined pairwise, then in
    // fours, then in eights; the two before them apart. Reads the 16 bytes
    // before `end`.
    static uint64_t digitValue(const char* end, unsigned n) {
        uint64_t last = loadLittle(end - 8) & kDigitBytes.last[n & 15];
        last = ((last & 0x0F0F0F0F0F0F0F0F) * 2561) >> 8;
        last = ((last & 0x00FF00FF00FF00FF) * 6553601) >> 16;
        last = ((last & 0x0000FFFF0000FFFF) * 42949672960001) >> 32;
        const auto firstTwo =
            static_cast<uint32_t>(loadLittle(end - 16) >> 48) & kDigitBytes.firstTwo[n & 15];
        const uint64_t first = (firstTwo & 0x0F) * 10 + (firstTwo >> 8 & 0x0F);
        return first * 100000000 + last;  // in 64 bits: 99 * 10^8 passes 2^32
    }
};

// What the build checks of a set.
template <typename Set>
struct SurfaceCheck {
    using Vec = typename Set::Vec;
    using Compare = decltype(Set::equal(Set::splat(0), Set::splat(0)));

    // A member of the type `Function`: one of another type does not compile.
    template <typename Function>
    static constexpr bool is(Function member) {
        return member != nullptr;
    }

    // The members every set defines, each with its type.
    static constexpr bool complete() {
        return sizeof(Vec) == Set::kVecBytes && 64 % Set::kVecBytes == 0 &&
               is<Vec (*)(const char*)>(&Set::load) && is<Vec (*)(char)>(&Set::splat) &&
               is<Compare (*)(Vec, Vec)>(&Set::equal) && is<Compare (*)(Vec, Vec)>(&Set::less) &&
               is<Vec (*)(Vec, Vec)>(&Set::plus) &&
               is<Compare (*)(Compare, Compare)>(&Set::either) &&
               is<Compare (*)(Compare, Compare)>(&Set::both);
    }
};

// Holds the set `Set` to the surface; see the top of this file.
#define SURFACE_HOLDS(Set)                       \
    static_assert(SurfaceCheck<Set>::complete(), \
                  #Set " lacks a member every set defines, or gives it another type")

}  // namespace
}  // namespace scan
