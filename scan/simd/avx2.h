// Vector primitives for AVX2: 32 bytes at a time.
#pragma once

#include <immintrin.h>
#include <stdint.h>

#include "scan/simd/surface.h"
#include "scan/simd/x86.h"

namespace scan {
namespace {

// For a token of n digits (1 to 15), the shuffle that takes the 16 bytes
// ending at its end to its value's places: the digits stay at the end, the
// byte before them (a minus, or white space) moves to byte 0, and the bytes
// between become zeros. For n = 0, past the tokens, all zeros.
struct DigitPlaces {
    alignas(16) char of[16][16];
};
constexpr DigitPlaces makeDigitPlaces() {
    DigitPlaces places{};
    for (unsigned n = 1; n < 16; ++n) {
        for (unsigned j = 0; j < 16; ++j) {
            const unsigned from = j >= 16 - n ? j : j == 0 ? 15 - n : 0x80;
            places.of[n][j] = static_cast<char>(from);
        }
    }
    for (unsigned j = 0; j < 16; ++j) {
        places.of[0][j] = static_cast<char>(0x80);
    }
    return places;
}
constexpr DigitPlaces kDigitPlaces = makeDigitPlaces();

// A plain block's flags (see PlainFlag) looked up by a byte's low four
// bits, in each 16-byte lane: the bytes a plain block holds differ there
// ("0" to "9", newline 0xA, minus 0xD), so each stands for the byte of its
// low bits, and `plainByte` holds that byte, for the lookup that checks it.
struct PlainNibbleTables {
    alignas(32) char plainByte[32];
    alignas(32) char self[32];
    alignas(32) char before[32];
    alignas(32) char twoBefore[32];
};
constexpr PlainNibbleTables makePlainNibbleTables() {
    PlainNibbleTables tables{};
    for (unsigned i = 0; i < 32; ++i) {
        const unsigned low = i % 16;
        // Where no plain byte has these low bits, one that no byte with them
        // equals, and that stands for a byte other than the plain ones.
        const unsigned byte = low < 10 ? '0' + low : low == 0xA ? '\n' : low == 0xD ? '-' : 0x80;
        tables.plainByte[i] = static_cast<char>(byte);
        tables.self[i] = plainFlagsOf(static_cast<unsigned char>(byte), 0);
        tables.before[i] = plainFlagsOf(static_cast<unsigned char>(byte), 1);
        tables.twoBefore[i] = plainFlagsOf(static_cast<unsigned char>(byte), 2);
    }
    return tables;
}
constexpr PlainNibbleTables kPlainNibbleTables = makePlainNibbleTables();

struct Avx2 : Surface<Avx2> {
    using Vec = __m256i;
    static constexpr unsigned kVecBytes = 32;

    static Vec load(const char* p) { return _mm256_loadu_si256(reinterpret_cast<const Vec*>(p)); }
    static Vec splat(char c) { return _mm256_set1_epi8(c); }
    static Vec equal(Vec a, Vec b) { return _mm256_cmpeq_epi8(a, b); }
    static Vec less(Vec a, Vec b) { return _mm256_cmpgt_epi8(b, a); }
    static Vec plus(Vec a, Vec b) { return _mm256_add_epi8(a, b); }
    static Vec either(Vec a, Vec b) { return _mm256_or_si256(a, b); }
    static Vec both(Vec a, Vec b) { return _mm256_and_si256(a, b); }
    static uint64_t bitsOf(Vec v) { return static_cast<uint32_t>(_mm256_movemask_epi8(v)); }

    // White space by a lookup of each byte's low four bits: only a
    // white-space byte finds itself, and a byte of 0x80 or more finds a zero.
    // A shuffle and a compare: cheap enough to make at every block.
    static Vec whiteSpace(Vec bytes) {
        return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(load(kSpaceLookup.lanes), bytes), bytes);
    }
    static constexpr bool kCostlyWhiteSpace = false;

    static constexpr auto writeEight = writeEightBySse2;

    // A plain block's masks from its flags (see PlainFlag), as AVX-512 finds
    // them, each of its two halves by three lookups of the low four bits
    // (`pshufb`), of its bytes, of those a place back and two back, and a
    // fourth that checks each byte is the one its low bits stand for. A byte
    // of 0x80 or more looks up zero, and finds no flag: where it is the byte
    // itself, the check finds it. Only whether the block holds a token the
    // plain blocks cannot take is found, not where.
    static PlainMasks plainMasks(const char* q) {
        const Vec odd = splat(kOther | kMinusInside | kAfterMinus | kLeadingZero);
        const Vec longStart = splat(kRun3 | kHigh | kHigh2);
        const Vec zero = _mm256_setzero_si256();
        const Vec newlines = opaque(splat('\n'));
        Vec plain = _mm256_set1_epi8(-1);
        uint64_t newline = 0, run3 = 0, longStarts = 0, high21 = 0;
        for (unsigned half = 0; half < 2; ++half) {
            const char* at = q + 32 * half;
            const Vec self = load(at);
            const Vec flags = _mm256_and_si256(
                _mm256_and_si256(
                    _mm256_shuffle_epi8(load(kPlainNibbleTables.self), self),
                    _mm256_shuffle_epi8(load(kPlainNibbleTables.before), load(at - 1))),
                _mm256_shuffle_epi8(load(kPlainNibbleTables.twoBefore), load(at - 2)));
            const Vec known = _mm256_cmpeq_epi8(
                _mm256_shuffle_epi8(load(kPlainNibbleTables.plainByte), self), self);
            plain = _mm256_and_si256(
                plain,
                _mm256_and_si256(known, _mm256_cmpeq_epi8(_mm256_and_si256(flags, odd), zero)));
            const unsigned shift = 32 * half;
            newline |= bitsOf(_mm256_cmpeq_epi8(self, newlines)) << shift;
            run3 |= bitsOf(_mm256_slli_epi16(flags, 3)) << shift;  // kRun3 to the sign bit
            longStarts |= bitsOf(_mm256_cmpeq_epi8(_mm256_and_si256(flags, longStart), zero))
                          << shift;
            high21 |= bitsOf(flags) << shift;
        }
        PlainMasks m{};
        m.odd = ~static_cast<uint32_t>(_mm256_movemask_epi8(plain));
        m.newline = newline;
        m.run3 = run3;
        m.longStarts = ~longStarts;
        m.high21 = high21;
        return m;
    }
    static constexpr bool kPlainMasks = true;

    // Converts four tokens at a time, as the surface's convertTokens
    // promises: in each 128-bit lane, one token's sixteen places.
    static uint32_t convertTokens(const char* p, const uint16_t* bounds, uint32_t count,
                                  int32_t* out) {
        constexpr int64_t kMinusPlace = 1000000000000000;  // 10^15
        for (uint32_t i = 0; i < count; i += 4) {
            const uint16_t* four = bounds + 2 * i;
            // Each digit count is the end less the start: one multiply-add of the pair.
            const __m128i digits =
                _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(four)),
                               _mm_set1_epi32(1 << 16 | 0xffff));
            const __m128i tooLong = _mm_cmpgt_epi32(digits, _mm_set1_epi32(10));
            // Lane 0 holds tokens 0 and 2 from here on, lane 1 tokens 1 and 3:
            // eights of digits, then 64-bit values.
            __m256i v = _mm256_packus_epi32(twoTokens(p, four), twoTokens(p, four + 4));
            v = _mm256_madd_epi16(v, _mm256_set1_epi32(1 << 16 | 10000));
            v = _mm256_add_epi64(_mm256_mul_epu32(v, _mm256_set1_epi64x(100000000)),
                                 _mm256_srli_epi64(v, 32));
            const __m256i negative = _mm256_cmpgt_epi64(v, _mm256_set1_epi64x(kMinusPlace - 1));
            const __m256i magnitude =
                _mm256_sub_epi64(v, _mm256_and_si256(negative, _mm256_set1_epi64x(kMinusPlace)));
            // Beyond kMinMagnitude - 1, or kMinMagnitude after a minus.
            const __m256i beyond = _mm256_cmpgt_epi64(
                magnitude,
                _mm256_sub_epi64(_mm256_set1_epi64x(static_cast<int64_t>(kMinMagnitude) - 1),
                                 negative));
            const __m256i value = _mm256_sub_epi64(_mm256_xor_si256(magnitude, negative), negative);
            const __m128i inOrder = _mm256_castsi256_si128(
                _mm256_permutevar8x32_epi32(value, _mm256_setr_epi32(0, 4, 2, 6, 0, 0, 0, 0)));
            if (count - i >= 4) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), inOrder);
            } else {
                const __m128i lanes = _mm_cmplt_epi32(_mm_setr_epi32(0, 1, 2, 3),
                                                      _mm_set1_epi32(static_cast<int>(count - i)));
                _mm_maskstore_epi32(out + i, lanes, inOrder);
            }
            // Past the count, tokens of no digits, which are never bad.
            if (!_mm256_testz_si256(beyond, beyond) || !_mm_testz_si128(tooLong, tooLong)) {
                // Tokens 0, 2, 1, 3 in the 64-bit lanes: bits 1 and 2 swapped.
                const int lanes = _mm256_movemask_pd(_mm256_castsi256_pd(beyond));
                const int bad = (lanes & 9) | (lanes & 2) << 1 | (lanes & 4) >> 1 |
                                _mm_movemask_ps(_mm_castsi128_ps(tooLong));
                return i + static_cast<uint32_t>(__builtin_ctz(static_cast<unsigned>(bad)));
            }
        }
        return count;
    }

  private:
    // The token whose digits start and end at `bound[0]` and `bound[1]`, in its
    // places (see DigitPlaces).
    static __m128i placedToken(const char* p, const uint16_t* bound) {
        const unsigned end = bound[1];
        const unsigned digits = (end - bound[0]) & 15;
        const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + end - 16));
        return _mm_shuffle_epi8(
            text, _mm_load_si128(reinterpret_cast<const __m128i*>(kDigitPlaces.of[digits])));
    }

    // Two tokens, one a lane, as four numbers of four digits each. A minus
    // counts as a digit 1 in the first place: a lane's 16 places then read as
    // its magnitude plus 10^15 for a minus.
    static __m256i twoTokens(const char* p, const uint16_t* bounds) {
        const __m256i text = _mm256_inserti128_si256(_mm256_castsi128_si256(placedToken(p, bounds)),
                                                     placedToken(p, bounds + 2), 1);
        const __m256i minus =
            _mm256_and_si256(_mm256_cmpeq_epi8(text, _mm256_set1_epi8('-')), _mm256_set1_epi8(1));
        const __m256i digits =
            _mm256_or_si256(_mm256_subs_epu8(text, _mm256_set1_epi8('0')), minus);
        const __m256i pairs = _mm256_maddubs_epi16(digits, _mm256_set1_epi16(1 << 8 | 10));
        return _mm256_madd_epi16(pairs, _mm256_set1_epi32(1 << 16 | 100));
    }
};
SURFACE_HOLDS(Avx2);

}  // namespace
}  // namespace scan
