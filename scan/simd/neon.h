// Vector primitives for AArch64's NEON, which every AArch64 processor has:
// 16 bytes at a time.
#pragma once

#include <arm_neon.h>
#include <stdint.h>

#include "scan/simd/surface.h"

namespace scan {
namespace {

struct Neon : Surface<Neon> {
    using Vec = int8x16_t;
    static constexpr unsigned kVecBytes = 16;

    static Vec load(const char* p) { return vld1q_s8(reinterpret_cast<const int8_t*>(p)); }
    static Vec splat(char c) { return vdupq_n_s8(static_cast<int8_t>(c)); }
    static Vec equal(Vec a, Vec b) { return vreinterpretq_s8_u8(vceqq_s8(a, b)); }
    static Vec less(Vec a, Vec b) { return vreinterpretq_s8_u8(vcltq_s8(a, b)); }
    static Vec plus(Vec a, Vec b) { return vaddq_s8(a, b); }
    static Vec either(Vec a, Vec b) { return vorrq_s8(a, b); }
    static Vec both(Vec a, Vec b) { return vandq_s8(a, b); }

    // NEON has no movemask: each byte keeps only its own bit's weight, and
    // pairwise adds sum the weights, first across pairs of vectors, so that
    // four adds gather all four, where three a vector and a move to a general
    // register each had gathered them one at a time.
    static uint64_t blockBitsOf(const Vec (&compares)[4]) {
        static const uint8_t kWeights[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                             1, 2, 4, 8, 16, 32, 64, 128};
        const uint8x16_t weights = vld1q_u8(kWeights);
        uint8x16_t bits[4];
        for (unsigned k = 0; k < 4; ++k) {
            bits[k] = vandq_u8(vreinterpretq_u8_s8(compares[k]), weights);
        }
        uint8x16_t sums = vpaddq_u8(vpaddq_u8(bits[0], bits[1]), vpaddq_u8(bits[2], bits[3]));
        sums = vpaddq_u8(sums, sums);
        return vgetq_lane_u64(vreinterpretq_u64_u8(sums), 0);
    }
};
SURFACE_HOLDS(Neon);

}  // namespace
}  // namespace scan
