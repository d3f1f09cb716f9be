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

// Which bytes of the 8 before a token's end hold its last n digits, and which
// of the two before those hold its first ones, for n from 0 to 15.
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

// The value of the n (0 to 10) digits that end just before `end`: the last
// eight at a time in a 64-bit register, the two before them apart, without a
// branch on n (a lookup of the bytes to keep). Reads the 10 bytes before
// `end`, and 6 before those.
inline uint64_t digitValue(const char* end, unsigned n) {
    const uint64_t last = loadLittle(end - 8) & kDigitBytes.last[n & 15];
    const auto firstTwo =
        static_cast<uint32_t>(loadLittle(end - 16) >> 48) & kDigitBytes.firstTwo[n & 15];
    const uint64_t first = (firstTwo & 0x0F) * 10 + (firstTwo >> 8 & 0x0F);
    return first * 100000000 + eightDigits(last);
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
