// The positions of the set bits of each byte value: a mask of token bounds
// is written out a byte at a time by looking them up.
#pragma once

#include <stdint.h>

namespace scan {
namespace {

// For each byte value, the positions of its set bits, and how many.
struct BytePositions {
    alignas(16) uint16_t of[256][8];
    uint8_t count[256];
};
constexpr BytePositions makeBytePositions() {
    BytePositions table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned n = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((byte >> bit & 1) != 0) {
                table.of[byte][n++] = static_cast<uint16_t>(bit);
            }
        }
        table.count[byte] = static_cast<uint8_t>(n);
    }
    return table;
}
constexpr BytePositions kBytePositions = makeBytePositions();

// Appends the positions of the set bits of `bits`, plus `base`, to `out` as
// 16-bit offsets, a byte of the mask at a time: its eight positions looked
// up, and all eight written, plus the byte's offset, by `writeEight(from,
// offset, to)` whatever the byte holds. No branch follows the data, and a
// block full of short numbers costs no more than one of long ones: a loop
// over the bits, whose length no branch predictor follows, or 16 positions
// always written and a loop for the rest, made the loads 4% slower on random
// numbers and a fifth on short lines.
template <typename WriteEight>
inline void appendByBytes(uint64_t bits, uint32_t base, uint16_t* out, uint32_t& count,
                          WriteEight writeEight) {
    uint32_t at = count;
    for (unsigned k = 0; k < 8; ++k) {
        const auto byte = static_cast<unsigned>(bits >> (8 * k)) & 0xFF;
        writeEight(kBytePositions.of[byte], base + 8 * k, out + at);
        at += kBytePositions.count[byte];
    }
    count = at;
}

}  // namespace
}  // namespace scan
