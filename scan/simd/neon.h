// Vector primitives for AArch64's NEON, which every AArch64 processor has:
// 16 bytes at a time.
#pragma once

#include <arm_neon.h>
#include <stdint.h>

#include "scan/simd/scalar.h"

namespace scan {
namespace {

using Vec = int8x16_t;
constexpr unsigned kVecBytes = 16;
// A compare gives a vector, which a movemask reads.
constexpr bool kMaskedCompares = false;

inline Vec load(const char* p) {
    return vld1q_s8(reinterpret_cast<const int8_t*>(p));
}
inline Vec splat(char c) {
    return vdupq_n_s8(static_cast<int8_t>(c));
}
inline Vec equal(Vec a, Vec b) {
    return vreinterpretq_s8_u8(vceqq_s8(a, b));
}
inline Vec less(Vec a, Vec b) {
    return vreinterpretq_s8_u8(vcltq_s8(a, b));
}
inline Vec plus(Vec a, Vec b) {
    return vaddq_s8(a, b);
}
inline Vec either(Vec a, Vec b) {
    return vorrq_s8(a, b);
}
inline Vec both(Vec a, Vec b) {
    return vandq_s8(a, b);
}
// a and not b.
inline Vec butNot(Vec a, Vec b) {
    return vbicq_s8(a, b);
}

// The top bit of each byte, byte i's as bit i. NEON has no movemask: each
// byte of a compare (all ones or zero) keeps only its own bit's weight, and
// three pairwise adds sum each half's eight weights into one byte.
inline uint64_t bitsOf(Vec v) {
    static const uint8_t kWeights[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    uint8x16_t bits = vandq_u8(vreinterpretq_u8_s8(v), vld1q_u8(kWeights));
    bits = vpaddq_u8(bits, bits);
    bits = vpaddq_u8(bits, bits);
    bits = vpaddq_u8(bits, bits);
    return vgetq_lane_u16(vreinterpretq_u16_u8(bits), 0);
}

}  // namespace
}  // namespace scan

#include "scan/simd/bitsByVector.h"
#include "scan/simd/oneAtATime.h"
#include "scan/simd/rangeByCompares.h"
#include "scan/simd/spaceByCompares.h"
