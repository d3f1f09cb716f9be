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

// Token bounds a byte of the mask at a time (see appendByBytes), the offset
// added to four positions at a time in a 64-bit word, where no sum carries
// into the next.
inline void appendBounds(uint64_t bits, uint32_t base, uint16_t* out, uint32_t& count) {
    appendByBytes(bits, base, out, count, [](const uint16_t* from, uint32_t offset, uint16_t* to) {
        const uint64_t offsets = offset * uint64_t{0x0001000100010001};
        uint64_t low, high;
        memcpy(&low, from, 8);
        memcpy(&high, from + 4, 8);
        low += offsets;
        high += offsets;
        memcpy(to, &low, 8);
        memcpy(to + 4, &high, 8);
    });
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
                  static_cast<uint64_t>(beyondRange(magnitude, negative));
        out[i] = signedValue(magnitude, negative);
    }
    return beyond == 0;
}

}  // namespace
}  // namespace scan
