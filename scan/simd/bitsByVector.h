// A block's 64-bit mask gathered a vector at a time, each vector's compare
// read by bitsOf and shifted to its place: for the instruction sets whose
// bitsOf is one instruction or a few. Included at the end of their
// primitives, and written against them.
#pragma once

#include <stdint.h>

namespace scan {
namespace {

// The mask of a block from the compares of its vectors, in order: bit i
// describes byte i.
template <typename Compare>
inline uint64_t blockBitsOf(const Compare (&compares)[64 / kVecBytes]) {
    uint64_t mask = 0;
    for (unsigned k = 0; k < 64 / kVecBytes; ++k) {
        mask |= bitsOf(compares[k]) << (k * kVecBytes);
    }
    return mask;
}

}  // namespace
}  // namespace scan
