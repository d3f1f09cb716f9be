// Vector primitives for AVX2: 32 bytes at a time.
#pragma once

#include <immintrin.h>
#include <stdint.h>

#include "scan/simd/x86.h"

namespace scan {
namespace {

using Vec = __m256i;
constexpr unsigned kVecBytes = 32;

inline Vec load(const char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const Vec*>(p));
}
inline Vec splat(char c) {
    return _mm256_set1_epi8(c);
}
inline Vec equal(Vec a, Vec b) {
    return _mm256_cmpeq_epi8(a, b);
}
inline Vec less(Vec a, Vec b) {
    return _mm256_cmpgt_epi8(b, a);
}
inline Vec plus(Vec a, Vec b) {
    return _mm256_add_epi8(a, b);
}
inline Vec either(Vec a, Vec b) {
    return _mm256_or_si256(a, b);
}
inline Vec both(Vec a, Vec b) {
    return _mm256_and_si256(a, b);
}
// a and not b.
inline Vec butNot(Vec a, Vec b) {
    return _mm256_andnot_si256(b, a);
}
inline uint64_t bitsOf(Vec v) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(v));
}

// Appends the positions of the set bits of `bits`, plus `base`, to `out`.
// No loop whose length follows the data, which no branch predictor can follow
// on random files: eight positions are always written (tzcnt of 0 is 64,
// harmless past the count), more only for blocks of short numbers.
inline void appendOffsets(uint64_t bits, uint32_t base, uint32_t* out, uint32_t& count) {
    const auto total = static_cast<uint32_t>(_mm_popcnt_u64(bits));
    uint32_t* to = out + count;
    for (int i = 0; i < 8; ++i) {
        to[i] = base + static_cast<uint32_t>(_tzcnt_u64(bits));
        bits = _blsr_u64(bits);
    }
    for (uint32_t i = 8; i < total; ++i) {
        to[i] = base + static_cast<uint32_t>(_tzcnt_u64(bits));
        bits = _blsr_u64(bits);
    }
    count += total;
}

}  // namespace
}  // namespace scan
