// Helpers that every x86-64 kernel may use, as they need SSE2 alone: the
// bytes a token keeps, and token bounds written by looking up each byte of a
// mask.
#pragma once

#include <emmintrin.h>
#include <stdint.h>

#include "scan/simd/bytePositions.h"

namespace scan {
namespace {

// 16 zero bytes, then 16 bytes of ones: 16 bytes loaded from offset n keep
// the last n bytes of a vector.
alignas(32) constexpr unsigned char kKeepLast[32] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Appends the positions of the set bits of `bits`, plus `base`, to `out` as
// 16-bit offsets, a byte of the mask at a time: its positions looked up and
// written, eight whatever it holds. No branch follows the data, and a block
// full of short numbers costs no more than one of long ones (a loop over the
// bits, or 16 positions always written and a loop for the rest, cost as much
// on random numbers and a fifth more on short ones, with AVX2).
inline void appendBoundsByBytes(uint64_t bits, uint32_t base, uint16_t* out, uint32_t& count) {
    uint32_t at = count;
    for (unsigned k = 0; k < 8; ++k) {
        const auto byte = static_cast<unsigned>(bits >> (8 * k)) & 0xFF;
        const __m128i positions =
            _mm_add_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(kBytePositions.of[byte])),
                          _mm_set1_epi16(static_cast<short>(base + 8 * k)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), positions);
        at += kBytePositions.count[byte];
    }
    count = at;
}

}  // namespace
}  // namespace scan
