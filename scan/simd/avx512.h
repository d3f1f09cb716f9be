// Vector primitives for AVX-512 (F, BW and VBMI2): 64 bytes, a whole block,
// at a time, each compare giving its 64-bit mask directly, and bit positions
// compressed into offsets (vpcompressb).
#pragma once

#include <immintrin.h>
#include <stdint.h>

#include "scan/simd/x86.h"

namespace scan {
namespace {

using Vec = __m512i;
constexpr unsigned kVecBytes = 64;

// A compare's result: one bit a byte, already the mask the algorithm wants.
using Mask = __mmask64;

inline Vec load(const char* p) {
    return _mm512_loadu_si512(p);
}
inline Vec splat(char c) {
    return _mm512_set1_epi8(c);
}
inline Mask equal(Vec a, Vec b) {
    return _mm512_cmpeq_epi8_mask(a, b);
}
inline Mask less(Vec a, Vec b) {
    return _mm512_cmplt_epi8_mask(a, b);
}
inline Vec plus(Vec a, Vec b) {
    return _mm512_add_epi8(a, b);
}
inline Mask either(Mask a, Mask b) {
    return a | b;
}
inline Mask both(Mask a, Mask b) {
    return a & b;
}
// a and not b.
inline Mask butNot(Mask a, Mask b) {
    return a & ~b;
}
inline uint64_t bitsOf(Mask m) {
    return m;
}

// Bytes 0 to 63.
alignas(64) constexpr char kPositions[64] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
    22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
    44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};

// Appends the positions of the set bits of `bits`, plus `base`, to `out`:
// the positions compressed into bytes, then widened, sixteen at a time (the
// index has room for 64 past its end).
inline void appendOffsets(uint64_t bits, uint32_t base, uint32_t* out, uint32_t& count) {
    const __m512i positions = _mm512_maskz_compress_epi8(bits, _mm512_loadu_si512(kPositions));
    const __m512i offset = _mm512_set1_epi32(static_cast<int>(base));
    const auto total = static_cast<uint32_t>(_mm_popcnt_u64(bits));
    _mm512_storeu_si512(
        out + count,
        _mm512_add_epi32(_mm512_cvtepu8_epi32(_mm512_castsi512_si128(positions)), offset));
    if (total > 16) {
        _mm512_storeu_si512(
            out + count + 16,
            _mm512_add_epi32(_mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(positions, 1)),
                             offset));
    }
    if (total > 32) {
        _mm512_storeu_si512(
            out + count + 32,
            _mm512_add_epi32(_mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(positions, 2)),
                             offset));
        _mm512_storeu_si512(
            out + count + 48,
            _mm512_add_epi32(_mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(positions, 3)),
                             offset));
    }
    count += total;
}

}  // namespace
}  // namespace scan
