// The positions of the set bits of each byte value: a mask of token bounds
// is written out a byte at a time by looking them up (see appendBounds).
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

}  // namespace
}  // namespace scan
