// What the x86-64 sets share: the eight positions of a byte of a mask written
// with their offset in one SSE2 addition, and the table that AVX2 and
// AVX-512 find white space by.
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

// For a lookup of each byte by its low four bits (pshufb), a row for each
// 16-byte lane of up to 64 bytes: a white-space byte finds itself there, any
// other byte below 0x80 finds another byte, and one of 0x80 or more, which
// the lookup answers with zero, finds a zero.
struct SpaceLookup {
    alignas(64) char lanes[64];
};
constexpr SpaceLookup makeSpaceLookup() {
    SpaceLookup table{};
    constexpr char kSpaces[] = " \t\n\v\f\r";
    for (unsigned lane = 0; lane < 64; lane += 16) {
        for (unsigned i = 0; i + 1 < sizeof kSpaces; ++i) {
            table.lanes[lane + (kSpaces[i] & 15)] = kSpaces[i];
        }
    }
    return table;
}
constexpr SpaceLookup kSpaceLookup = makeSpaceLookup();

}  // namespace
}  // namespace scan
