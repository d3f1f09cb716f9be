// What the x86-64 sets share, with SSE2 alone: the eight positions of a byte
// of a mask written with their offset in one vector addition.
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

}  // namespace
}  // namespace scan
