// Scalar helpers for the kernels that have no instructions for them: turning
// digits into a value, and bit positions into offsets.
//
// Internal linkage, like every helper a kernel includes (see scan/machine.h).
#pragma once

#include <stdint.h>
#include <string.h>

#include "scan/machine.h"

namespace scan {
namespace {

// Sums eight digit bytes (ASCII digits or zero bytes, the first the most
// significant, in the low byte as loadLittle puts it) by combining
// neighbours pairwise, then in fours, then in eights.
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
    const uint64_t high = loadLittle(end - 16);
    const uint64_t low = loadLittle(end - 8);
    return eightDigits(high & keepHigh(n)) * 100000000 + eightDigits(low & keepLow(n));
}

// Appends the positions of the set bits of `bits`, plus `base`, to `out`.
template <typename Offset>
inline void appendPositions(uint64_t bits, uint32_t base, Offset* out, uint32_t& count) {
    for (; bits != 0; bits &= bits - 1) {
        out[count++] = static_cast<Offset>(base + static_cast<uint32_t>(__builtin_ctzll(bits)));
    }
}
inline void appendOffsets(uint64_t bits, uint32_t base, uint32_t* out, uint32_t& count) {
    appendPositions(bits, base, out, count);
}
}  // namespace
}  // namespace scan
