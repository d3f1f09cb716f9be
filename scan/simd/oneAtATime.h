// The load's bounds and conversion a token at a time, for the kernels that
// have nothing better (portable, NEON): included after their primitives.
#pragma once

#include <stdint.h>
#include <string.h>

#include "scan/machine.h"
#include "scan/simd/bytePositions.h"
#include "scan/simd/scalar.h"

namespace scan {
namespace {

// Appends the positions of the set bits of `bits`, plus `base`, to `out` as
// 16-bit offsets, a byte of the mask at a time: its eight positions looked
// up, the offset added to four at a time in a 64-bit word (no sum carries
// into the next), and all eight written whatever the byte holds. A loop
// over the bits, whose length no branch predictor follows, made the
// portable load 4% slower on random numbers and a fifth on short lines.
inline void appendBounds(uint64_t bits, uint32_t base, uint16_t* out, uint32_t& count) {
    uint32_t at = count;
    for (unsigned k = 0; k < 8; ++k) {
        const auto byte = static_cast<unsigned>(bits >> (8 * k)) & 0xFF;
        const uint64_t offset = (base + 8 * k) * uint64_t{0x0001000100010001};
        uint64_t low, high;
        memcpy(&low, kBytePositions.of[byte], 8);
        memcpy(&high, kBytePositions.of[byte] + 4, 8);
        low += offset;
        high += offset;
        memcpy(out + at, &low, 8);
        memcpy(out + at + 4, &high, 8);
        at += kBytePositions.count[byte];
    }
    count = at;
}

// Converts the `count` tokens of the text at `p` whose digits start and end
// in turn in `bounds` (each a minus or white space before its digits) into
// `out`, one at a time but without a branch on any of them. Returns false if
// one has more than ten digits (leading zeros included) or lies beyond the
// 32-bit range.
inline bool convertTokens(const char* p, const uint16_t* bounds, uint32_t count, int32_t* out) {
    uint64_t beyond = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned start = bounds[2 * i];
        const unsigned end = bounds[2 * i + 1];
        const unsigned digits = end - start;
        const unsigned negative = (p + start)[-1] == '-';
        const uint64_t magnitude = digitValue(p + end, digits);
        beyond |= static_cast<uint64_t>(digits > 10) |
                  static_cast<uint64_t>(magnitude > kMinMagnitude - 1 + negative);
        // (m ^ -1) + 1 is -m: negation without a branch.
        const uint64_t flip = 0 - uint64_t{negative};
        out[i] = static_cast<int32_t>(static_cast<uint32_t>((magnitude ^ flip) + negative));
    }
    return beyond == 0;
}

}  // namespace
}  // namespace scan
