// A block's 64-bit mask gathered a vector at a time, each vector's compare
// read by bitsOf and shifted to its place: for the instruction sets whose
// bitsOf is one instruction or a few. Included at the end of their
// primitives, and written against them.
#pragma once

#include <stdint.h>

namespace scan {
namespace {

// The bits of a compare of the vector at offset `at` of a block, at their
// places in its mask: the masks of a block's vectors are joined by OR, then
// read by blockBits.
template <typename Compare>
inline uint64_t placedBits(Compare compare, unsigned at) {
    return bitsOf(compare) << at;
}
inline uint64_t blockBits(uint64_t placed) {
    return placed;
}

}  // namespace
}  // namespace scan
