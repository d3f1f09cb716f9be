// Vector primitives for any processor: eight bytes at a time in a 64-bit
// integer (SWAR), so that the windows run unchanged, and eight times fewer
// steps than byte by byte, where there are no vector instructions. Byte i of
// memory is always byte i of the word, counted from its low end, whatever
// the processor's byte order: on a big-endian one each load swaps the bytes
// into place.
#pragma once

#include <stdint.h>

#include "scan/simd/surface.h"

namespace scan {
namespace {

// A compare sets only the high bit of each byte that holds, not the whole
// byte as vector compares do: the windows only join compares with either()
// and both() and read them with blockBitsOf(), which need no more, and
// widening each compare's bits to bytes cost a multiply apiece. (The windows
// take this set's classes from its bit planes, below, and compare no words
// today: the compares are its answer to the surface.)
struct Portable : Surface<Portable> {
    using Vec = uint64_t;
    static constexpr unsigned kVecBytes = 8;
    // A compare is several operations a word: the count judges the few
    // ten-digit numbers and tokens of the target's length one by one.
    static constexpr bool kCheapCompares = false;

    static constexpr uint64_t kOnes = 0x0101010101010101;   // the low bit of each byte
    static constexpr uint64_t kHighs = 0x8080808080808080;  // the high bit of each byte

    static Vec load(const char* p) { return loadLittle(p); }
    static Vec splat(char c) { return kOnes * static_cast<unsigned char>(c); }
    static Vec equal(Vec a, Vec b) {
        // A byte of a ^ b is zero exactly when adding 0x7F to its low seven
        // bits sets no high bit and its own high bit is clear; no carry
        // crosses a byte.
        const uint64_t x = a ^ b;
        const uint64_t nonZero = ((x & ~kHighs) + ~kHighs) | x;
        return ~nonZero & kHighs;
    }
    static Vec less(Vec a, Vec b) {
        // Flipping the high bits turns the signed order into the unsigned one.
        a ^= kHighs;
        b ^= kHighs;
        // Per byte, 0x80 + (a's low seven bits) - (b's): never borrows from
        // the byte above, and its high bit says whether a's low bits are >= b's.
        const uint64_t lowAtLeast = (a | kHighs) - (b & ~kHighs);
        // a < b: a's high bit clear and b's set, or both alike and a's low
        // bits smaller.
        return ((~a & b) | (~(a ^ b) & ~lowAtLeast)) & kHighs;
    }
    static Vec plus(Vec a, Vec b) {
        // The low seven bits of each byte added apart, then the high bits as
        // carries of one, so that nothing carries into the next byte.
        return ((a & ~kHighs) + (b & ~kHighs)) ^ ((a ^ b) & kHighs);
    }
    static Vec either(Vec a, Vec b) { return a | b; }
    static Vec both(Vec a, Vec b) { return a & b; }

    // A block's 64 bytes as eight bit planes, plane b holding bit b of every
    // byte, so that a class of bytes is a few operations on whole words (see
    // classesOf in scan/generic/blocks.h). A plane's bits are in the order
    // of blockBitsOf's before its transpose, byte 8k + j at bit 8j + k:
    // inOrder() puts a mask made from them in the block's order.
    static constexpr bool kBitPlanes = true;
    struct Planes {
        uint64_t bit[8];
        // The bytes equal to c: each plane or its complement, as c's bit says.
        uint64_t is(unsigned char c) const {
            uint64_t mask = ~uint64_t{0};
            for (unsigned b = 0; b < 8; ++b) {
                mask &= (c >> b & 1) != 0 ? bit[b] : ~bit[b];
            }
            return mask;
        }
    };
    static Planes planesOf(const char* q) {
        Planes planes;
        uint64_t(&w)[8] = planes.bit;
        for (unsigned k = 0; k < 8; ++k) {
            w[k] = load(q + 8 * k);
        }
        // Word k's bit 8j + b, for bit b of byte j, goes to word b's bit
        // 8j + k: the three bits of k swapped with those of b, one at a time.
        swapAcross<1>(w, 0x5555555555555555);
        swapAcross<2>(w, 0x3333333333333333);
        swapAcross<4>(w, 0x0F0F0F0F0F0F0F0F);
        return planes;
    }
    static uint64_t inOrder(uint64_t mask) { return transposeBits(mask); }

    // A block's mask from its eight words' compares, without a multiply: each
    // word's high bits are moved down by its place in the block, so that byte
    // j of word k gives bit 8j + k, and the 8x8 matrix of bits is transposed
    // once (bit 8j + k to 8k + j). Gathering each word's eight bits by a
    // multiply cost eight multiplies a mask, on what is often the processor's
    // one multiplier, and the count ran a fifth slower.
    static uint64_t blockBitsOf(const Vec (&compares)[8]) {
        uint64_t x = 0;
        for (unsigned k = 0; k < 8; ++k) {
            x |= compares[k] >> (7 - k);
        }
        return transposeBits(x);
    }

  private:
    // The 8x8 matrix of bits of x transposed, bit 8j + k to 8k + j: three
    // swaps of blocks of bits across the diagonal, single bits, pairs, fours.
    static uint64_t transposeBits(uint64_t x) {
        uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AA;
        x ^= t ^ (t << 7);
        t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCC;
        x ^= t ^ (t << 14);
        t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0;
        return x ^ t ^ (t << 28);
    }
    // Swaps the bits of word k that `low` leaves out, shifted down by n, with
    // those of word k + n that it keeps, for each k with no n in it.
    template <unsigned n>
    static void swapAcross(uint64_t (&w)[8], uint64_t low) {
        for (unsigned k = 0; k < 8; ++k) {
            if ((k & n) == 0) {
                const uint64_t t = ((w[k] >> n) ^ w[k + n]) & low;
                w[k + n] ^= t;
                w[k] ^= t << n;
            }
        }
    }
};
SURFACE_HOLDS(Portable);

}  // namespace
}  // namespace scan
