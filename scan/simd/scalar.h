// Scalar helpers for the kernels that have no instructions for them: turning
// digits into a value, and bit positions into offsets.
//
// Internal linkage, like every helper a kernel includes (see scan/machine.h).
#pragma once

#include <stdint.h>
#include <string.h>

namespace scan {
namespace {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// Sums eight digit bytes (ASCII digits or zero bytes, the first the most
// significant) by combining neighbours pairwise, then in fours, then in eights.
inline uint64_t eightDigits(uint64_t x) {
    x = ((x & 0x0F0F0F0F0F0F0F0F) * 2561) >> 8;
    x = ((x & 0x00FF00FF00FF00FF) * 6553601) >> 16;
    return ((x & 0x0000FFFF0000FFFF) * 42949672960001) >> 32;
}

// Which bytes of the 16 before a token's end hold its last n digits.
constexpr uint64_t keepHigh(unsigned n) {
    return n <= 8 ? 0 : ~uint64_t{0} << (8 * (16 - n));
}
constexpr uint64_t keepLow(unsigned n) {
    return n >= 8 ? ~uint64_t{0} : n == 0 ? 0 : ~uint64_t{0} << (8 * (8 - n));
}

// The value of the n (1 to 16) digits that end just before `end`, eight
// digits at a time in a 64-bit register, without a branch on n. Reads the 16
// bytes before `end`.
inline uint64_t digitValue(const char* end, unsigned n) {
    uint64_t high, low;
    memcpy(&high, end - 16, 8);
    memcpy(&low, end - 8, 8);
    return eightDigits(high & keepHigh(n)) * 100000000 + eightDigits(low & keepLow(n));
}
#else
inline uint64_t digitValue(const char* end, unsigned n) {
    uint64_t value = 0;
    for (const char* q = end - n; q < end; ++q) {
        value = value * 10 + static_cast<unsigned char>(*q) - '0';
    }
    return value;
}
#endif

// Appends the positions of the set bits of `bits`, plus `base`, to `out`.
inline void appendOffsets(uint64_t bits, uint32_t base, uint32_t* out, uint32_t& count) {
    for (; bits != 0; bits &= bits - 1) {
        out[count++] = base + static_cast<uint32_t>(__builtin_ctzll(bits));
    }
}

}  // namespace
}  // namespace scan
