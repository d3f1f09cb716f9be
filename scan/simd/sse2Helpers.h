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

// Token bounds a byte of the mask at a time (see appendByBytes), each eight
// positions and their offset added in one vector.
inline void appendBoundsByBytes(uint64_t bits, uint32_t base, uint16_t* out, uint32_t& count) {
    appendByBytes(bits, base, out, count, [](const uint16_t* from, uint32_t offset, uint16_t* to) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                         _mm_add_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(from)),
                                       _mm_set1_epi16(static_cast<short>(offset))));
    });
}

}  // namespace
}  // namespace scan
